// How often refusals reach the journal: the first at once, the rest once a minute with a count.
#include "refusaltally.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int ShortMinuteMs = 200;

} // namespace

class tst_RefusalTally : public QObject
{
    Q_OBJECT

private slots:
    void firstAtOnceTheRestAfterTheMinuteWithTheirCount();
    void kindsApartAndAQuietMinuteLetsTheNextBeToldAtOnce();
};

void tst_RefusalTally::firstAtOnceTheRestAfterTheMinuteWithTheirCount()
{
    RefusalTally tally(ShortMinuteMs);
    QSignalSpy told(&tally, &RefusalTally::told);
    for (int i = 1; i <= 50; ++i)
        tally.count(0, QStringLiteral("отказ %1").arg(i));
    QCOMPARE(told.size(), 1);
    QVERIFY(told.wait(4 * ShortMinuteMs));
    const QString summary = told.at(1).at(0).toString();
    QVERIFY2(summary.contains(QStringLiteral("отказ 50")) && summary.contains(QStringLiteral("49")),
             qPrintable(summary));
    // Nothing is left for the next minute.
    QVERIFY(!told.wait(3 * ShortMinuteMs));
}

void tst_RefusalTally::kindsApartAndAQuietMinuteLetsTheNextBeToldAtOnce()
{
    RefusalTally tally(ShortMinuteMs);
    QSignalSpy told(&tally, &RefusalTally::told);
    tally.count(0, QStringLiteral("a"));
    tally.count(1, QStringLiteral("b"));
    QCOMPARE(told.size(), 2);
    QTest::qWait(2 * ShortMinuteMs);
    tally.count(0, QStringLiteral("a"));
    QCOMPARE(told.size(), 3);
}

QTEST_GUILESS_MAIN(tst_RefusalTally)
#include "tst_refusaltally.moc"
