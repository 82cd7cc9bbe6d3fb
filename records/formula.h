#ifndef FORMULA_H
#define FORMULA_H

#include <QList>
#include <QString>

// One product of a mix, dosed by one doser of the line.
struct FormulaComponent
{
    QString product;
    // The doser's address on the line.
    int doser = 0;
    // Per cent of the batch; a component given as weight per base size is stored as its share.
    double share = 0;
    // In the doser's unit.
    double plusTolerance = 0;
    double minusTolerance = 0;
    // Components on one doser run in ascending order.
    int order = 1;
};

// A mix of products on several dosers, written for a base size and scaled to the size the
// operator asks for (see FormulaPlan).
struct Formula
{
    qint64 id = 0;
    QString name;
    // The batch size the components were written for.
    double baseSize = 0;
    // 0: no limit; a larger size is offered as a split into equal batches.
    double largestBatch = 0;
    // Offer the rescale when a component ends outside its tolerance.
    bool keepRatio = false;
    // Kept as text; expanded elsewhere.
    QString lotPattern;
    QList<FormulaComponent> components;
};

#endif // FORMULA_H
