// A formula's plan on the line: what may be saved and run, targets that add up to the size, the
// fewest equal batches, and the rescale that keeps the mix's ratio.
#include "formulaplan.h"

#include <QTest>

#include <cmath>
#include <functional>

Q_DECLARE_METATYPE(Formula)

namespace {

// Flour by the kilogram to the hundredth, salt to the gram, and a doser that has not reported.
const QList<LineCapacity> Line = {
    {30, 50, 2, true, QStringLiteral("Мука-1")},
    {31, 30, 2, true, QString()},
    {32, 5, 3, true, QString()},
    {33, 20, 1, false, QString()},
};
const QStringList Products = {QStringLiteral("Мука"), QStringLiteral("Сахар"),
                              QStringLiteral("Соль"), QStringLiteral("Вода")};

Formula mixB()
{
    Formula formula;
    formula.name = QStringLiteral("Смесь Б");
    formula.baseSize = 300;
    formula.components = {
        {QStringLiteral("Мука"), 30, 60, 0.5, 0.5, 1},
        {QStringLiteral("Сахар"), 31, 35, 0.3, 0.3, 1},
        {QStringLiteral("Соль"), 32, 5, 0.02, 0.02, 1},
    };
    return formula;
}

// Three near-thirds on dosers of scales 2, 2 and 3: the rounding always leaves something over.
Formula thirds()
{
    Formula formula = mixB();
    formula.components[0].share = 33.33;
    formula.components[1].share = 33.33;
    formula.components[2].share = 33.34;
    return formula;
}

Formula changed(const std::function<void(Formula &)> &change)
{
    Formula formula = mixB();
    change(formula);
    return formula;
}

// Mix B with one field of one component changed.
template<typename Value>
Formula with(int component, Value FormulaComponent::*field, const Value &value)
{
    Formula formula = mixB();
    formula.components[component].*field = value;
    return formula;
}

// Mix B with a fourth component, its share taken from the flour.
Formula withAdded(const FormulaComponent &added)
{
    Formula formula = mixB();
    formula.components[0].share -= added.share;
    formula.components.append(added);
    return formula;
}

QList<LineCapacity> lineWithout(int doser)
{
    QList<LineCapacity> line = Line;
    line.removeIf([doser](const LineCapacity &capacity) { return capacity.doser == doser; });
    return line;
}

double step(int scale)
{
    return std::pow(10.0, -scale);
}

int scaleOf(int doser)
{
    for (const LineCapacity &capacity : Line) {
        if (capacity.doser == doser)
            return capacity.scale;
    }
    return -1;
}

bool isWholeSteps(double weight, int scale)
{
    const double steps = weight / step(scale);
    return std::abs(steps - std::round(steps)) < 1e-6;
}

} // namespace

class tst_FormulaPlan : public QObject
{
    Q_OBJECT

private slots:
    void formulaIsSavedOnlyWhenSound_data();
    void formulaIsSavedOnlyWhenSound();
    void sizeIsRunOnlyWithinTheLine_data();
    void sizeIsRunOnlyWithinTheLine();
    void targetsAddUpToTheSizeInEachDosersSteps_data();
    void targetsAddUpToTheSizeInEachDosersSteps();
    void largeSizeSplitsIntoTheFewestEqualBatches_data();
    void largeSizeSplitsIntoTheFewestEqualBatches();
    void componentOutsideItsBandIsToldByItsTolerances_data();
    void componentOutsideItsBandIsToldByItsTolerances();
    void rescaleKeepsTheMixRatioWithinTheTolerances();
};

void tst_FormulaPlan::formulaIsSavedOnlyWhenSound_data()
{
    QTest::addColumn<Formula>("formula");
    QTest::addColumn<bool>("refused");
    // Shown in the reason when not empty: the operator must see which component is wrong.
    QTest::addColumn<QString>("culprit");

    using C = FormulaComponent;
    QTest::newRow("sound") << mixB() << false << "";
    QTest::newRow("shares within a hundredth of 100") << with(2, &C::share, 5.009) << false << "";
    QTest::newRow("tiny share on a doser that has not reported")
        << withAdded({QStringLiteral("Вода"), 33, 0.001, 0, 0, 1}) << false << "";
    QTest::newRow("second component on a doser after the first")
        << withAdded({QStringLiteral("Соль"), 32, 2.5, 0.02, 0.02, 2}) << false << "";

    QTest::newRow("no name") << changed([](Formula &f) { f.name = QStringLiteral("  "); }) << true
                             << "";
    QTest::newRow("base size zero") << changed([](Formula &f) { f.baseSize = 0; }) << true << "";
    QTest::newRow("no components")
        << changed([](Formula &f) { f.components.clear(); }) << true << "";
    QTest::newRow("shares short of 100") << with(2, &C::share, 4.98) << true << "99.98";
    QTest::newRow("doser not on the line") << with(1, &C::doser, 34) << true << "34";
    QTest::newRow("product not in the list")
        << with(1, &C::product, QStringLiteral("Перец")) << true << "Перец";
    QTest::newRow("share zero") << with(2, &C::share, 0.0) << true << "Соль";
    QTest::newRow("negative tolerance") << with(1, &C::plusTolerance, -0.1) << true << "Сахар";
    // 9 g of salt: under ten steps of its doser.
    QTest::newRow("under the smallest sensible fill")
        << with(2, &C::share, 0.003) << true << "Соль";
    // 15 kg with 20 kg off allowed: an empty fill would pass.
    QTest::newRow("target within its minus tolerance")
        << with(2, &C::minusTolerance, 20.0) << true << "Соль";
    QTest::newRow("two components on a doser with one order")
        << withAdded({QStringLiteral("Соль"), 32, 2.5, 0.02, 0.02, 1}) << true << "32";
}

void tst_FormulaPlan::formulaIsSavedOnlyWhenSound()
{
    QFETCH(Formula, formula);
    QFETCH(bool, refused);
    QFETCH(QString, culprit);

    const QString reason = FormulaPlan::refusal(formula, Line, Products);
    QCOMPARE(!reason.isEmpty(), refused);
    if (!culprit.isEmpty())
        QVERIFY2(reason.contains(culprit), qPrintable(reason));
}

void tst_FormulaPlan::sizeIsRunOnlyWithinTheLine_data()
{
    QTest::addColumn<Formula>("formula");
    QTest::addColumn<double>("size");
    // A doser taken off the line since the formula was saved; 0 for none.
    QTest::addColumn<int>("missingDoser");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("culprit");

    const Formula limited = changed([](Formula &f) { f.largestBatch = 100; });
    QTest::newRow("the base size") << mixB() << 300.0 << 0 << false << "";
    QTest::newRow("zero") << mixB() << 0.0 << 0 << true << "";
    QTest::newRow("the most batches of the largest") << limited << 10000.0 << 0 << false << "";
    QTest::newRow("one batch more") << limited << 10000.5 << 0 << true << "";
    // Flour's 48 t are within a thousand fills of 50 kg, 60 t are not.
    QTest::newRow("within the fills of every doser") << mixB() << 80000.0 << 0 << false << "";
    QTest::newRow("beyond the fills of a doser") << mixB() << 100000.0 << 0 << true << "Мука";
    QTest::newRow("beyond what the records hold")
        << with(0, &FormulaComponent::doser, 33) << 1e10 << 0 << true << "Мука";
    // Flour's 6 g are under its doser's 10 g; at 30 g every component is at least a step.
    QTest::newRow("under a doser's resolution") << mixB() << 0.01 << 0 << true << "Мука";
    QTest::newRow("every doser at least a step") << mixB() << 0.03 << 0 << false << "";
    QTest::newRow("doser gone from the line") << mixB() << 300.0 << 32 << true << "32";
}

void tst_FormulaPlan::sizeIsRunOnlyWithinTheLine()
{
    QFETCH(Formula, formula);
    QFETCH(double, size);
    QFETCH(int, missingDoser);
    QFETCH(bool, refused);
    QFETCH(QString, culprit);

    const QString reason = FormulaPlan::sizeRefusal(formula, size, lineWithout(missingDoser));
    QCOMPARE(!reason.isEmpty(), refused);
    if (!culprit.isEmpty())
        QVERIFY2(reason.contains(culprit), qPrintable(reason));
}

void tst_FormulaPlan::targetsAddUpToTheSizeInEachDosersSteps_data()
{
    QTest::addColumn<Formula>("formula");
    QTest::addColumn<double>("size");

    for (const double size : {300.0, 299.99, 1.0, 1234.567, 0.5, 77.777, 10000.0}) {
        const QByteArray sizeText = QByteArray::number(size);
        QTest::newRow(("mix B, " + sizeText).constData()) << mixB() << size;
        QTest::newRow(("thirds, " + sizeText).constData()) << thirds() << size;
    }
}

void tst_FormulaPlan::targetsAddUpToTheSizeInEachDosersSteps()
{
    QFETCH(Formula, formula);
    QFETCH(double, size);

    const QList<ComponentTarget> targets = FormulaPlan::targets(formula, size, Line);
    QCOMPARE(targets.size(), formula.components.size());
    double sum = 0;
    for (const ComponentTarget &target : targets) {
        const FormulaComponent &component = formula.components.at(target.component);
        QCOMPARE(target.doser, component.doser);
        QCOMPARE(target.product, component.product);
        QCOMPARE(target.plusTolerance, component.plusTolerance);
        QCOMPARE(target.minusTolerance, component.minusTolerance);
        QCOMPARE(target.order, component.order);
        const int scale = scaleOf(target.doser);
        QVERIFY2(isWholeSteps(target.target, scale), qPrintable(QString::number(target.target)));
        // Rounding moves a target by a few steps at most, never by a share of the batch.
        QVERIFY(std::abs(target.target - component.share * size / 100) <= targets.size() * step(2));
        sum += target.target;
    }
    // Salt's gram is the finest step of these dosers: the size counts in it.
    QCOMPARE(std::llround(sum * 1000), std::llround(size * 1000));
}

void tst_FormulaPlan::largeSizeSplitsIntoTheFewestEqualBatches_data()
{
    QTest::addColumn<double>("size");
    QTest::addColumn<double>("largestBatch");
    QTest::addColumn<int>("batches");

    QTest::newRow("no limit") << 5000.0 << 0.0 << 1;
    QTest::newRow("at the limit") << 100.0 << 100.0 << 1;
    QTest::newRow("three full") << 300.0 << 100.0 << 3;
    QTest::newRow("a gram over three") << 300.001 << 100.0 << 4;
    QTest::newRow("uneven thirds") << 250.0 << 100.0 << 3;
    QTest::newRow("limit just under a round number") << 1000.0 << 99.99 << 11;
    QTest::newRow("many small") << 777.777 << 7.5 << 104;
}

void tst_FormulaPlan::largeSizeSplitsIntoTheFewestEqualBatches()
{
    QFETCH(double, size);
    QFETCH(double, largestBatch);
    QFETCH(int, batches);
    Formula formula = mixB();
    formula.largestBatch = largestBatch;

    QCOMPARE(FormulaPlan::batchesFor(formula, size), batches);
    const QList<double> sizes = FormulaPlan::splitSizes(formula, size, Line);
    if (batches > FormulaPlan::MostBatches) {
        QVERIFY(sizes.isEmpty());
        return;
    }
    QCOMPARE(sizes.size(), batches);
    double sum = 0;
    for (const double batch : sizes) {
        if (largestBatch > 0)
            QVERIFY(batch <= largestBatch + 1e-9);
        QVERIFY(isWholeSteps(batch, 3));
        QVERIFY(std::abs(batch - sizes.first()) <= step(3) + 1e-9);
        sum += batch;
    }
    QCOMPARE(std::llround(sum * 1000), std::llround(size * 1000));
    // One batch fewer could not hold it.
    if (largestBatch > 0)
        QVERIFY((batches - 1) * largestBatch < size);
}

void tst_FormulaPlan::componentOutsideItsBandIsToldByItsTolerances_data()
{
    QTest::addColumn<double>("delivered");
    QTest::addColumn<bool>("outside");

    // Target 180 kg, 0.5 over allowed, 0.25 under.
    QTest::newRow("at the plus edge") << 180.5 << false;
    QTest::newRow("past the plus edge") << 180.51 << true;
    QTest::newRow("at the minus edge") << 179.75 << false;
    QTest::newRow("past the minus edge") << 179.74 << true;
}

void tst_FormulaPlan::componentOutsideItsBandIsToldByItsTolerances()
{
    QFETCH(double, delivered);
    QFETCH(bool, outside);
    Formula formula = mixB();
    formula.components[0].minusTolerance = 0.25;

    const ComponentTarget flour = FormulaPlan::targets(formula, 300, Line).first();
    QCOMPARE(FormulaPlan::isOutside(flour, delivered), outside);
}

void tst_FormulaPlan::rescaleKeepsTheMixRatioWithinTheTolerances()
{
    const Formula formula = mixB();
    const QList<ComponentTarget> targets = FormulaPlan::targets(formula, 300, Line);
    // Sugar ran first and landed; then flour went 5 kg over.
    const double flour = 185;
    const QMap<int, double> finished {{1, 105.1}, {0, flour}};
    QVERIFY(FormulaPlan::isOutside(targets.at(0), flour));

    const Rescale rescale = FormulaPlan::rescale(targets, finished, 0, Line);
    QVERIFY(rescale.isValid());
    QCOMPARE(rescale.component, 0);
    // Only salt is still to run; what is finished keeps its target.
    QCOMPARE(rescale.changes.size(), 1);
    const RescaledTarget salt = rescale.changes.first();
    QCOMPARE(salt.component, 2);
    QCOMPARE(salt.before, targets.at(2).target);
    QVERIFY(isWholeSteps(salt.after, scaleOf(32)));
    // Salt to flour as the formula has it, within salt's own band.
    const FormulaComponent &saltShare = formula.components.at(2);
    const double wanted = flour * saltShare.share / formula.components.at(0).share;
    QVERIFY(std::abs(salt.after - wanted) <= saltShare.minusTolerance);

    // With nothing else finished, every other component follows.
    const Rescale early = FormulaPlan::rescale(targets, {{0, flour}}, 0, Line);
    QCOMPARE(early.changes.size(), 2);
    for (const RescaledTarget &change : early.changes) {
        const FormulaComponent &component = formula.components.at(change.component);
        const double ratio = flour * component.share / formula.components.at(0).share;
        QVERIFY(std::abs(change.after - ratio) <= component.minusTolerance);
        QVERIFY(std::abs(change.after - ratio) <= component.plusTolerance);
    }
    // Nothing to follow before the component has finished.
    QVERIFY(!FormulaPlan::rescale(targets, {{1, 105.1}}, 0, Line).isValid());
}

QTEST_GUILESS_MAIN(tst_FormulaPlan)
#include "tst_formulaplan.moc"
