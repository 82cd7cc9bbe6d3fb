#include "dosecorrector.h"

#include <QTest>

namespace {

constexpr double Limit = 30;

// A doser that puts `share` more than it is sent into the hopper, and `inFlight` besides.
struct ErringDoser
{
    double share = 0;
    double inFlight = 0;
    double fill(double sent) const { return sent * (1 + share) + inFlight; }
};

// Fills of the sizes given in turn, each learned from; tolerances that leave nothing out.
void learnFills(DoseCorrector &corrector, const ErringDoser &doser, const QList<double> &wanted,
                int count)
{
    for (int n = 0; n < count; ++n) {
        const double want = wanted.at(n % wanted.size());
        const double sent = corrector.toSend(want);
        QVERIFY(corrector.learn(want, sent, doser.fill(sent), 0, 0));
    }
}

} // namespace

class tst_DoseCorrector : public QObject
{
    Q_OBJECT

private slots:
    void fillsOfTwoSizesTellTheShareFromTheAmountInFlight();
    void fillsOfOneSizeMoveTheShareAlone();
    void aWildDoserMovesTheAmountInFlightBoundedly();
};

void tst_DoseCorrector::fillsOfTwoSizesTellTheShareFromTheAmountInFlight()
{
    DoseCorrector corrector;
    corrector.setWeighingLimit(Limit);
    const ErringDoser doser {0.03, 0.5};
    learnFills(corrector, doser, {27, 4, 27, 27}, 16);
    // Any fill comes out as wanted, small or large.
    for (double wanted : {3.0, 15.0, 28.0})
        QVERIFY2(qAbs(doser.fill(corrector.toSend(wanted)) - wanted) < 0.01,
                 qPrintable(QString::number(wanted)));
}

void tst_DoseCorrector::fillsOfOneSizeMoveTheShareAlone()
{
    DoseCorrector corrector;
    corrector.setWeighingLimit(Limit);
    LearnedCorrection known;
    known.inFlight = 0.2;
    corrector.restore(known);
    // The fill the batch wants comes out right; the amount in flight cannot be told from it.
    const ErringDoser doser {0.02, 0.1};
    learnFills(corrector, doser, {20}, 12);
    QCOMPARE(corrector.inFlight(), 0.2);
    QVERIFY(qAbs(doser.fill(corrector.toSend(20)) - 20) < 0.01);
}

void tst_DoseCorrector::aWildDoserMovesTheAmountInFlightBoundedly()
{
    DoseCorrector corrector;
    corrector.setWeighingLimit(Limit);
    const ErringDoser doser {0, 5};
    learnFills(corrector, doser, {25, 5}, 2);
    QVERIFY(corrector.inFlight() > 0
            && corrector.inFlight() <= DoseCorrector::LargestInFlightStep * Limit * 2 + 1e-9);
    learnFills(corrector, doser, {25, 5}, 20);
    QVERIFY(qAbs(corrector.inFlight() - DoseCorrector::LargestInFlight * Limit) < 1e-9);
    QVERIFY(qAbs(corrector.correction()) <= DoseCorrector::LargestCorrection);
}

QTEST_GUILESS_MAIN(tst_DoseCorrector)
#include "tst_dosecorrector.moc"
