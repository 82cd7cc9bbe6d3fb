// How often refusals reach the journal: once at once, then once a minute with their count.
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
    void firstIsToldAtOnceTheRestAfterTheMinuteWithTheirCount();
    void kindsAreToldApart();
    void aMinuteWithoutRefusalsLetsTheNextBeToldAtOnce();
};

void tst_RefusalTally::firstIsToldAtOnceTheRestAfterTheMinuteWithTheirCount()
{
    RefusalTally tally(ShortMinuteMs);
    QSignalSpy told(&tally, &RefusalTally::told);
    for (int i = 1; i <= 50; ++i)
        tally.count(0, QStringLiteral("отказ %1").arg(i));
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.at(0).at(0).toString(), QStringLiteral("отказ 1"));

    QVERIFY(told.wait(4 * ShortMinuteMs));
    const QString summary = told.at(1).at(0).toString();
    QVERIFY2(summary.contains(QStringLiteral("отказ 50")) && summary.contains(QStringLiteral("49")),
             qPrintable(summary));
    // Told, so nothing is left for the next minute.
    QVERIFY(!told.wait(3 * ShortMinuteMs));
}

void tst_RefusalTally::kindsAreToldApart()
{
    RefusalTally tally(ShortMinuteMs);
    QSignalSpy told(&tally, &RefusalTally::told);
    tally.count(0, QStringLiteral("a"));
    tally.count(1, QStringLiteral("b"));
    tally.count(1, QStringLiteral("b"));
    QCOMPARE(told.size(), 2);
    QTRY_COMPARE(told.size(), 3);
    QVERIFY(told.at(2).at(0).toString().startsWith(QStringLiteral("b")));
}

void tst_RefusalTally::aMinuteWithoutRefusalsLetsTheNextBeToldAtOnce()
{
    RefusalTally tally(ShortMinuteMs);
    QSignalSpy told(&tally, &RefusalTally::told);
    tally.count(0, QStringLiteral("a"));
    tally.count(0, QStringLiteral("a"));
    QVERIFY(told.wait(4 * ShortMinuteMs));
    // A refusal within the minute after the count waits for that minute's end.
    tally.count(0, QStringLiteral("a"));
    QCOMPARE(told.size(), 2);
    QVERIFY(told.wait(4 * ShortMinuteMs));
    QTest::qWait(2 * ShortMinuteMs);
    tally.count(0, QStringLiteral("a"));
    QCOMPARE(told.size(), 4);
}

QTEST_GUILESS_MAIN(tst_RefusalTally)
#include "tst_refusaltally.moc"
