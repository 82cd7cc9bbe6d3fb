#ifndef BATCHFORMULA_H
#define BATCHFORMULA_H

#include "formulaplan.h"

#include <QList>
#include <QString>

// A batch of a formula's components scaled to a size: each component's target on its doser, in
// its order there.
struct BatchFormula
{
    QString name;
    double size = 0;
    // When a component ends outside its tolerance, offer new targets for those still to come.
    bool keepRatio = false;
    QList<ComponentTarget> components;

    bool isEmpty() const { return components.isEmpty(); }

    // The formula as the plan scales it to the size on the line.
    static BatchFormula of(const Formula &formula, double size, const QList<LineCapacity> &line)
    {
        return {formula.name, size, formula.keepRatio, FormulaPlan::targets(formula, size, line)};
    }
};

#endif // BATCHFORMULA_H
