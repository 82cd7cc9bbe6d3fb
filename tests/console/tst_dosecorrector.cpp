#include "dosecorrector.h"

#include <QTest>

namespace {

constexpr double Limit = 30;

// Fills of the sizes given in turn from a doser that puts `share` more than it is sent into the
// hopper and `inFlight` besides, each learned from.
void learnFills(DoseCorrector &corrector, double share, double inFlight,
                const QList<double> &wanted, int count)
{
    for (int n = 0; n < count; ++n) {
        const double sent = corrector.toSend(wanted.at(n % wanted.size()));
        corrector.learn(wanted.at(n % wanted.size()), sent, sent * (1 + share) + inFlight, 0, 0);
    }
}

} // namespace

class tst_DoseCorrector : public QObject
{
    Q_OBJECT

private slots:
    void fillsOfOneSizeMoveTheShareAndKeepTheAmountInFlight();
    void aWildDoserMovesTheAmountInFlightByBoundedSteps();
};

void tst_DoseCorrector::fillsOfOneSizeMoveTheShareAndKeepTheAmountInFlight()
{
    DoseCorrector corrector;
    corrector.setWeighingLimit(Limit);
    LearnedCorrection known;
    known.inFlight = 0.2;
    corrector.restore(known);
    learnFills(corrector, 0.02, 0.1, {20}, 12);
    QCOMPARE(corrector.inFlight(), 0.2);
    const double sent = corrector.toSend(20);
    QVERIFY(qAbs(sent * 1.02 + 0.1 - 20) < 0.01);
}

void tst_DoseCorrector::aWildDoserMovesTheAmountInFlightByBoundedSteps()
{
    DoseCorrector corrector;
    corrector.setWeighingLimit(Limit);
    learnFills(corrector, 0, 5, {25, 5}, 2);
    QVERIFY(corrector.inFlight() > 0
            && corrector.inFlight() <= 2 * DoseCorrector::LargestInFlightStep * Limit + 1e-9);
    learnFills(corrector, 0, 5, {25, 5}, 20);
    QCOMPARE(corrector.inFlight(), DoseCorrector::LargestInFlight * Limit);
}

QTEST_GUILESS_MAIN(tst_DoseCorrector)
#include "tst_dosecorrector.moc"
