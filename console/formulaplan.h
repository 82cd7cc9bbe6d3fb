#ifndef FORMULAPLAN_H
#define FORMULAPLAN_H

#include "formula.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// One doser on the line as far as a formula is concerned; known = limit and scale reported.
struct LineCapacity
{
    int doser = 0;
    // The upper weighing limit, the most one fill takes.
    double npd = 0;
    // Decimals of the doser's weights; its resolution is 10^-scale.
    int scale = 2;
    bool known = false;
    // The operator's name of the doser; empty shows "Дозатор <address>".
    QString name;
};

// What one component of a formula is to deliver in a batch of a given size.
struct ComponentTarget
{
    // The component's place in the formula.
    int component = 0;
    int doser = 0;
    QString product;
    double target = 0;
    double plusTolerance = 0;
    double minusTolerance = 0;
    int order = 1;
};

// A component whose target the rescale changed, before and after, for the journal.
struct RescaledTarget
{
    int component = 0;
    int doser = 0;
    QString product;
    double before = 0;
    double after = 0;
};

// The rescale after a component ended outside its tolerance: the unfinished components follow
// it, so the mix keeps its ratio to what that component delivered.
struct Rescale
{
    // The component that ended outside; -1 when there is nothing to rescale.
    int component = -1;
    // What it delivered over what it was to deliver.
    double factor = 1;
    // The components not finished, in the formula's order; finished ones keep their targets.
    QList<RescaledTarget> changes;
    bool isValid() const { return component >= 0; }
};

// How a formula becomes the targets of a batch on the line; no widgets, no records. Weights are
// in each doser's unit and rounded to its scale; a doser whose capacity is not known is taken
// at its scale as given (2 by default) and its limits are not checked.
class FormulaPlan
{
public:
    // Shares must add up to 100 % within this.
    static constexpr double ShareSlack = 0.01;
    // The smallest sensible fill is this many steps of the doser's resolution (and never below
    // the component's minus tolerance: a fill of nothing would pass).
    static constexpr int LeastFillSteps = 10;
    // A size needing more batches of the largest than this is beyond the line.
    static constexpr int MostBatches = 100;
    // A component's task needing more fills of its doser than this is beyond the line.
    static constexpr int MostFills = 1000;
    // Beyond this a weight text of the records no longer holds a target to its decimals.
    static constexpr double LargestTarget = 1e9;

    // Why the formula may not be saved, naming the culprit; empty when it may. `products` are
    // the product list's names.
    static QString refusal(const Formula &formula, const QList<LineCapacity> &line,
                           const QStringList &products);
    // Why a batch of that size may not run on the line; empty when it may. A size above the
    // largest batch counts in the batches of its split.
    static QString sizeRefusal(const Formula &formula, double size,
                               const QList<LineCapacity> &line);

    // Each component's share of the size, rounded to its doser's scale. The targets add up to
    // the size rounded to the finest scale among the formula's dosers: what rounding took from
    // or gave to the others goes to the largest component on a doser of that scale.
    static QList<ComponentTarget> targets(const Formula &formula, double size,
                                          const QList<LineCapacity> &line);

    // The fewest batches not above the largest batch; 1 without a limit.
    static int batchesFor(const Formula &formula, double size);
    // That many equal batches, each rounded to the finest scale among the formula's dosers (the
    // first ones a step larger where the size does not divide evenly), adding up to the size
    // so rounded. Where rounding would lift a batch over the limit, one batch more is taken.
    static QList<double> splitSizes(const Formula &formula, double size,
                                    const QList<LineCapacity> &line);

    // The component ended outside its band.
    static bool isOutside(const ComponentTarget &target, double delivered);
    // New targets of the components not in `finished` (component → delivered), as the old ones
    // times what `component` delivered over its target; invalid when the component is not
    // finished or had no target.
    static Rescale rescale(const QList<ComponentTarget> &targets, const QMap<int, double> &finished,
                           int component, const QList<LineCapacity> &line);

    // The share of a component given as weight per base size.
    static double shareOfWeight(double weight, double baseSize);
    // The smallest sensible fill of the component on a doser whose capacity is known.
    static double leastFill(const FormulaComponent &component, const LineCapacity &capacity);
    // The doser's name as the operator knows it.
    static QString doserName(const LineCapacity &capacity);
    static QString doserName(int doser, const QList<LineCapacity> &line);
};

#endif // FORMULAPLAN_H
