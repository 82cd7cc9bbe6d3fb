#include "doseaccuracy.h"
#include "toleranceclass.h"

#include <QTest>

namespace {

DoseAccuracy::Dose kilogramDose(const char *ordered, const char *discharged, const char *plus,
                                const char *minus)
{
    DoseAccuracy::Dose dose;
    dose.ordered = QByteArray(ordered).toDouble();
    dose.discharged = QByteArray(discharged).toDouble();
    dose.decimals = 2;
    dose.gramsPerUnit = ToleranceClass::gramsPerUnit(u"кг");
    dose.toleranceKnown = plus != nullptr;
    dose.plus = QByteArray(plus).toDouble();
    dose.minus = QByteArray(minus).toDouble();
    return dose;
}

} // namespace

class tst_DoseAccuracy : public QObject
{
    Q_OBJECT

private slots:
    void classLimitFollowsTheMassOfTheFill_data();
    void classLimitFollowsTheMassOfTheFill();
    void handWorkedDosesGiveShareCpCpkAndClassAlsoWhenMergedAsText();
    void fewOrEqualDosesGiveNoCpButStillAClass();
    void doseOnItsToleranceOrClassLimitIsWithin();
};

void tst_DoseAccuracy::classLimitFollowsTheMassOfTheFill_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("mass");
    QTest::addColumn<double>("grams");

    // X(1) worked out per band: a share of the fill or a fixed weight.
    QTest::newRow("20 g: 9 %") << "г" << 20.0 << 1.8;
    QTest::newRow("80 g: 4.5 g") << "г" << 80.0 << 4.5;
    QTest::newRow("150 g: 4.5 %") << "г" << 150.0 << 6.75;
    QTest::newRow("0.25 kg: 9 g") << "кг" << 0.25 << 9.0;
    QTest::newRow("0.4 kg: 3 %") << "кг" << 0.4 << 12.0;
    QTest::newRow("0.75 kg: 15 g") << "кг" << 0.75 << 15.0;
    QTest::newRow("5 kg: 1.5 %") << "кг" << 5.0 << 75.0;
    QTest::newRow("12 kg: 150 g") << "кг" << 12.0 << 150.0;
    QTest::newRow("0.02 t: 1 %") << "т" << 0.02 << 200.0;
    QTest::newRow("limit 100 g, either band") << "г" << 100.0 << 4.5;
    QTest::newRow("limit 10 kg, either band") << "кг" << 10.0 << 150.0;
    QTest::newRow("no mass") << "кг" << 0.0 << 0.0;
}

void tst_DoseAccuracy::classLimitFollowsTheMassOfTheFill()
{
    QFETCH(QString, unit);
    QFETCH(double, mass);
    QFETCH(double, grams);
    const double gramsPerUnit = ToleranceClass::gramsPerUnit(unit);
    QVERIFY(gramsPerUnit > 0.0);
    QVERIFY(qAbs(ToleranceClass::maximumDeviation(mass * gramsPerUnit) - grams) < 1e-9);
}

void tst_DoseAccuracy::handWorkedDosesGiveShareCpCpkAndClassAlsoWhenMergedAsText()
{
    // Ordered 10.00 kg, tolerance +0.20 / -0.10; deviations +0.10, -0.05, +0.05, +0.30, -0.10,
    // and +0.00 from an old row without tolerances.
    // Share: +0.30 lies outside, -0.10 on the limit is within: 4 of 5 = 80.0 %.
    // The five with a tolerance: mean 0.30 / 5 = 0.06; squares 0.115, 0.115 - 5 * 0.06^2 =
    // 0.097, s^2 = 0.097 / 4 = 0.02425, s = 0.155724.
    // Cp = 0.30 / (6 s) = 0.30 / 0.934345 = 0.321 -> "0.32".
    // Cpk = min(0.20 - 0.06, 0.06 + 0.10) / (3 s) = 0.14 / 0.467172 = 0.2997 -> "0.30".
    // Class, all six: mean 0.05; from it +0.05, -0.10, 0, +0.25, -0.15, -0.05, the largest 0.25.
    // X(1) at 10 kg is 1.5 % = 150 g = 0.15 kg: X(1) 0.15 < 0.25 <= X(2) 0.30 -> "X(2)".
    DoseAccuracy first;
    first.add(kilogramDose("10.00", "10.10", "0.20", "0.10"));
    first.add(kilogramDose("10.00", "9.95", "0.20", "0.10"));
    first.add(kilogramDose("10.00", "10.00", nullptr, nullptr));
    DoseAccuracy second;
    second.add(kilogramDose("10.00", "10.05", "0.20", "0.10"));
    second.add(kilogramDose("10.00", "10.30", "0.20", "0.10"));
    second.add(kilogramDose("10.00", "9.90", "0.20", "0.10"));

    DoseAccuracy merged = DoseAccuracy::fromText(DoseAccuracy().toText());
    merged.merge(DoseAccuracy::fromText(first.toText()));
    merged.merge(DoseAccuracy::fromText(second.toText()));
    for (const DoseAccuracy &figures : {merged, DoseAccuracy::fromText(merged.toText())}) {
        QCOMPARE(figures.count(), 6);
        QCOMPARE(figures.toleranceCount(), 5);
        QCOMPARE(figures.withinToleranceText(), QString("80.0"));
        QCOMPARE(figures.cpText(), QString("0.32"));
        QCOMPARE(figures.cpkText(), QString("0.30"));
        QVERIFY(qAbs(*figures.cp() - 0.3211) < 1e-3);
        QVERIFY(qAbs(*figures.cpk() - 0.2997) < 1e-3);
        QCOMPARE(figures.classText(), QString("X(2)"));
    }

    // Deviations 0 and +1.00: each lies 0.50 kg from their mean, beyond X(2)'s 0.30; one of the
    // two within tolerance.
    DoseAccuracy wide;
    wide.add(kilogramDose("10.00", "10.00", "0.20", "0.10"));
    wide.add(kilogramDose("10.00", "11.00", "0.20", "0.10"));
    QCOMPARE(wide.classText(), QString("—"));
    QCOMPARE(wide.withinToleranceText(), QString("50.0"));
}

void tst_DoseAccuracy::fewOrEqualDosesGiveNoCpButStillAClass()
{
    DoseAccuracy none;
    QCOMPARE(none.withinToleranceText(), QString());
    QCOMPARE(none.classText(), QString());

    // One dose is its own mean, so it meets the finest class.
    DoseAccuracy single;
    single.add(kilogramDose("10.00", "10.30", "0.20", "0.10"));
    QCOMPARE(single.withinToleranceText(), QString("0.0"));
    QCOMPARE(single.cpText(), QString());
    QCOMPARE(single.classText(), QString("X(0.2)"));

    // Three doses 0.07 kg over: no spread, though the binary sums leave a hair of one.
    DoseAccuracy equal;
    for (int i = 0; i < 3; ++i)
        equal.add(kilogramDose("27.57", "27.64", "0.20", "0.10"));
    QCOMPARE(equal.cpText(), QString());
    QCOMPARE(equal.cpkText(), QString());
    QCOMPARE(equal.withinToleranceText(), QString("100.0"));
    QCOMPARE(equal.classText(), QString("X(0.2)"));

    // A unit the table does not know gives no class; the old figures stay.
    DoseAccuracy::Dose pound = kilogramDose("10.00", "10.10", nullptr, nullptr);
    pound.gramsPerUnit = ToleranceClass::gramsPerUnit(u"lb");
    DoseAccuracy unknown;
    unknown.add(pound);
    QCOMPARE(unknown.count(), 1);
    QCOMPARE(unknown.classText(), QString());
}

void tst_DoseAccuracy::doseOnItsToleranceOrClassLimitIsWithin()
{
    // 28.07 - 27.57 in binary is a hair above 0.50.
    DoseAccuracy tolerance;
    tolerance.add(kilogramDose("27.57", "28.07", "0.50", "0.50"));
    tolerance.add(kilogramDose("27.57", "27.07", "0.50", "0.50"));
    QCOMPARE(tolerance.withinToleranceText(), QString("100.0"));

    // 0.0200 t ordered: X(1) 1 % = 200 g = 0.0002 t, X(0.5) 0.0001 t. Deviations +0.0001,
    // -0.0001 and 0 lie exactly 0.0001 t from their mean 0.
    DoseAccuracy tonnes;
    for (const char *discharged : {"0.0201", "0.0199", "0.0200"}) {
        DoseAccuracy::Dose dose;
        dose.ordered = 0.02;
        dose.discharged = QByteArray(discharged).toDouble();
        dose.decimals = 4;
        dose.gramsPerUnit = ToleranceClass::gramsPerUnit(u"т");
        tonnes.add(dose);
    }
    QCOMPARE(tonnes.classText(), QString("X(0.5)"));
}

QTEST_GUILESS_MAIN(tst_DoseAccuracy)
#include "tst_doseaccuracy.moc"
