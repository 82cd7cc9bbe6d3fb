#ifndef BATCHFORMULA_H
#define BATCHFORMULA_H

#include <QList>
#include <QString>

// One component of a batch made from a formula: what one doser delivers, in its turn.
struct BatchComponent
{
    // The doser's address on the line.
    int doser = 0;
    QString product;
    double target = 0;
    double plusTolerance = 0;
    double minusTolerance = 0;
    // Components on one doser run one after another, lowest turn first.
    int turn = 1;
};

// A batch of a formula's components scaled to a size.
struct BatchFormula
{
    QString name;
    double size = 0;
    // When a component ends outside its tolerance, offer new targets for those still to come.
    bool keepRatio = false;
    QList<BatchComponent> components;

    bool isEmpty() const { return components.isEmpty(); }
};

#endif // BATCHFORMULA_H
