#include "formulaplan.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Doser scales beyond these are not weights a doser reports.
constexpr int LeastScale = 0;
constexpr int MostScale = 6;
// Comparisons of weights that went through a division forgive this much.
constexpr double Slack = 1e-9;

const LineCapacity *capacityOf(int doser, const QList<LineCapacity> &line)
{
    for (const LineCapacity &capacity : line) {
        if (capacity.doser == doser)
            return &capacity;
    }
    return nullptr;
}

int scaleOf(int doser, const QList<LineCapacity> &line)
{
    const LineCapacity *capacity = capacityOf(doser, line);
    return qBound(LeastScale, capacity ? capacity->scale : LineCapacity().scale, MostScale);
}

double stepOf(int scale)
{
    return std::pow(10.0, -qBound(LeastScale, scale, MostScale));
}

qint64 unitsPerWeight(int scale)
{
    qint64 units = 1;
    for (int i = 0; i < scale; ++i)
        units *= 10;
    return units;
}

double rounded(double weight, int scale)
{
    const double units = double(unitsPerWeight(scale));
    return std::round(weight * units) / units;
}

// The finest scale among the formula's dosers: the one the whole batch can be counted in.
int finestScale(const Formula &formula, const QList<LineCapacity> &line)
{
    int finest = LeastScale;
    for (const FormulaComponent &component : formula.components)
        finest = std::max(finest, scaleOf(component.doser, line));
    return formula.components.isEmpty() ? LineCapacity().scale : finest;
}

QString weightText(double weight, int scale)
{
    return QString::number(weight, 'f', scale);
}

QString plainText(double number)
{
    constexpr int Digits = 12;
    return QString::number(number, 'g', Digits);
}

QString componentText(int index, const FormulaComponent &component)
{
    return component.product.isEmpty() ? QStringLiteral("Компонент %1").arg(index + 1)
                                       : QStringLiteral("Компонент %1 («%2»)")
                                             .arg(QString::number(index + 1), component.product);
}

} // namespace

QString FormulaPlan::refusal(const Formula &formula, const QList<LineCapacity> &line,
                             const QStringList &products)
{
    if (formula.name.trimmed().isEmpty())
        return QStringLiteral("Не задано имя рецептуры.");
    if (!(formula.baseSize > 0))
        return QStringLiteral("Базовый размер рецептуры должен быть больше нуля.");
    if (!(formula.largestBatch >= 0))
        return QStringLiteral("Наибольшая партия не может быть меньше нуля (0 — без ограничения).");
    if (formula.components.isEmpty())
        return QStringLiteral("В рецептуре нет ни одного компонента.");
    double sum = 0;
    for (int i = 0; i < formula.components.size(); ++i) {
        const FormulaComponent &component = formula.components.at(i);
        const QString who = componentText(i, component);
        if (!(component.share > 0))
            return QStringLiteral("%1: доля должна быть больше нуля.").arg(who);
        if (!(component.plusTolerance >= 0) || !(component.minusTolerance >= 0))
            return QStringLiteral("%1: допуск не может быть отрицательным.").arg(who);
        if (component.product.isEmpty())
            return QStringLiteral("%1: не выбран продукт.").arg(who);
        if (!products.contains(component.product))
            return QStringLiteral("%1: такого продукта нет в списке продуктов.").arg(who);
        const LineCapacity *capacity = capacityOf(component.doser, line);
        if (!capacity)
            return QStringLiteral("%1: дозатора %2 нет на линии.")
                .arg(who, QString::number(component.doser));
        if (component.order < 1)
            return QStringLiteral("%1: порядок на дозаторе — от 1.").arg(who);
        for (int j = 0; j < i; ++j) {
            const FormulaComponent &earlier = formula.components.at(j);
            // One doser runs one component at a time; the order says which comes first.
            if (earlier.doser == component.doser && earlier.order == component.order)
                return QStringLiteral("Компоненты %1 и %2 на дозаторе %3 с одним порядком %4.")
                    .arg(QString::number(j + 1), QString::number(i + 1),
                         QString::number(component.doser), QString::number(component.order));
        }
        if (capacity->known) {
            const double target = component.share * formula.baseSize / 100;
            const double least = leastFill(component, *capacity);
            if (target < least - Slack)
                return QStringLiteral("%1: при базовом размере %2 вес %3 меньше наименьшей "
                                      "разумной дозы дозатора %4 (%5).")
                    .arg(who, plainText(formula.baseSize), weightText(target, capacity->scale + 1),
                         QString::number(component.doser), weightText(least, capacity->scale));
        }
        sum += component.share;
    }
    if (std::abs(sum - 100) > ShareSlack + Slack)
        return QStringLiteral("Сумма долей %1 % вместо 100 %.").arg(plainText(sum));
    return {};
}

QString FormulaPlan::sizeRefusal(const Formula &formula, double size,
                                 const QList<LineCapacity> &line)
{
    if (!(size > 0))
        return QStringLiteral("Размер партии должен быть больше нуля.");
    if (formula.components.isEmpty())
        return QStringLiteral("В рецептуре нет ни одного компонента.");
    const int batches = batchesFor(formula, size);
    if (batches > MostBatches)
        return QStringLiteral("Размер %1 слишком велик: это больше %2 партий по %3.")
            .arg(plainText(size), QString::number(MostBatches), plainText(formula.largestBatch));
    // Each batch of the split weighs about the same.
    const double batchSize = size / batches;
    for (int i = 0; i < formula.components.size(); ++i) {
        const FormulaComponent &component = formula.components.at(i);
        const QString who = componentText(i, component);
        const LineCapacity *capacity = capacityOf(component.doser, line);
        if (!capacity)
            return QStringLiteral("%1: дозатора %2 нет на линии.")
                .arg(who, QString::number(component.doser));
        const double target = component.share * batchSize / 100;
        if (target > LargestTarget)
            return QStringLiteral("%1: вес %2 больше, чем держат записи (%3).")
                .arg(who, plainText(target), plainText(LargestTarget));
        if (!capacity->known)
            continue;
        if (capacity->npd > 0 && target > MostFills * capacity->npd)
            return QStringLiteral("%1: вес %2 — больше %3 доз дозатора %4 (НПВ %5).")
                .arg(who, plainText(target), QString::number(MostFills),
                     QString::number(component.doser), plainText(capacity->npd));
        if (target < stepOf(capacity->scale) - Slack)
            return QStringLiteral("%1: вес %2 меньше деления дозатора %3 (%4).")
                .arg(who, plainText(target), QString::number(component.doser),
                     weightText(stepOf(capacity->scale), capacity->scale));
    }
    return {};
}

QList<ComponentTarget> FormulaPlan::targets(const Formula &formula, double size,
                                            const QList<LineCapacity> &line)
{
    QList<ComponentTarget> planned;
    if (!(size > 0) || formula.components.isEmpty())
        return planned;
    // Counted in steps of the finest scale, so the targets add up exactly.
    const int finest = finestScale(formula, line);
    const double finestUnits = double(unitsPerWeight(finest));
    QList<qint64> units;
    qint64 sum = 0;
    int receiver = -1;
    for (int i = 0; i < formula.components.size(); ++i) {
        const FormulaComponent &component = formula.components.at(i);
        const int scale = scaleOf(component.doser, line);
        const double exact = component.share * size / 100;
        const qint64 own = std::llround(exact * double(unitsPerWeight(scale)));
        units << own * unitsPerWeight(finest - scale);
        sum += units.last();
        if (scale == finest
            && (receiver < 0 || component.share > formula.components.at(receiver).share))
            receiver = i;
    }
    units[receiver] += std::llround(size * finestUnits) - sum;
    for (int i = 0; i < formula.components.size(); ++i) {
        const FormulaComponent &component = formula.components.at(i);
        planned.append({i, component.doser, component.product, double(units.at(i)) / finestUnits,
                        component.plusTolerance, component.minusTolerance, component.order});
    }
    return planned;
}

int FormulaPlan::batchesFor(const Formula &formula, double size)
{
    if (!(formula.largestBatch > 0) || !(size > formula.largestBatch))
        return 1;
    const double ratio = size / formula.largestBatch;
    if (!(ratio < double(std::numeric_limits<int>::max())))
        return std::numeric_limits<int>::max();
    return int(std::ceil(ratio - Slack));
}

QList<double> FormulaPlan::splitSizes(const Formula &formula, double size,
                                      const QList<LineCapacity> &line)
{
    QList<double> sizes;
    int batches = batchesFor(formula, size);
    if (!(size > 0) || batches > MostBatches)
        return sizes;
    const int finest = finestScale(formula, line);
    const double finestUnits = double(unitsPerWeight(finest));
    const qint64 total = std::llround(size * finestUnits);
    if (formula.largestBatch > 0) {
        const qint64 limit = qint64(std::floor(formula.largestBatch * finestUnits + Slack));
        // A limit finer than the scale: the rounded batches must still stay under it.
        while (limit > 0 && batches < total && (total + batches - 1) / batches > limit)
            ++batches;
    }
    const qint64 each = total / batches;
    const qint64 left = total % batches;
    for (int i = 0; i < batches; ++i)
        sizes << double(each + (i < left ? 1 : 0)) / finestUnits;
    return sizes;
}

bool FormulaPlan::isOutside(const ComponentTarget &target, double delivered)
{
    return delivered > target.target + target.plusTolerance + Slack
           || delivered < target.target - target.minusTolerance - Slack;
}

Rescale FormulaPlan::rescale(const QList<ComponentTarget> &targets,
                             const QMap<int, double> &finished, int component,
                             const QList<LineCapacity> &line)
{
    Rescale result;
    const auto culprit =
        std::find_if(targets.cbegin(), targets.cend(),
                     [component](const ComponentTarget &t) { return t.component == component; });
    if (culprit == targets.cend() || !finished.contains(component) || !(culprit->target > 0))
        return result;
    result.component = component;
    result.factor = finished.value(component) / culprit->target;
    for (const ComponentTarget &target : targets) {
        if (finished.contains(target.component))
            continue;
        result.changes.append(
            {target.component, target.doser, target.product, target.target,
             rounded(target.target * result.factor, scaleOf(target.doser, line))});
    }
    return result;
}

double FormulaPlan::shareOfWeight(double weight, double baseSize)
{
    return baseSize > 0 ? weight * 100 / baseSize : 0;
}

double FormulaPlan::leastFill(const FormulaComponent &component, const LineCapacity &capacity)
{
    const double step = stepOf(capacity.scale);
    // Above the minus tolerance by a step at least: an empty fill must not pass.
    return std::max(LeastFillSteps * step, component.minusTolerance + step);
}

QString FormulaPlan::doserName(const LineCapacity &capacity)
{
    return capacity.name.isEmpty() ? QStringLiteral("Дозатор %1").arg(capacity.doser)
                                   : capacity.name;
}

QString FormulaPlan::doserName(int doser, const QList<LineCapacity> &line)
{
    const LineCapacity *capacity = capacityOf(doser, line);
    return capacity ? doserName(*capacity) : QStringLiteral("Дозатор %1").arg(doser);
}
