#include "accesscontrol.h"
#include "accessstore.h"
#include "database.h"
#include "temporarydatabase.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString EngineerPin = QStringLiteral("9137");
const QString TechnologistPin = QStringLiteral("460215");
constexpr qint64 MinuteMs = 60 * 1000;

// data.db with the levels' PINs set as an engineer sets them, and a clock the test moves.
struct Panel
{
    Panel()
        : database(records.path())
        , store(database)
    { }

    std::unique_ptr<AccessControl> start()
    {
        return std::make_unique<AccessControl>(store, [this] { return now; });
    }

    bool setPins()
    {
        auto control = start();
        QString problem;
        return control->setPin(AccessLevel::Engineer, EngineerPin, problem)
               && control->setPin(AccessLevel::Technologist, TechnologistPin, problem);
    }

    TemporaryDatabase records;
    Database database;
    AccessStore store;
    qint64 now = 1000;
};

// The console started again: a connection, a store and a control of its own on the same data.db.
struct Restarted
{
    explicit Restarted(Panel &panel)
        : database(panel.records.path())
        , store(database)
        , control(store, [&panel] { return panel.now; })
    { }

    Database database;
    AccessStore store;
    AccessControl control;
};

} // namespace

class tst_AccessControl : public QObject
{
    Q_OBJECT

private slots:
    void refusedLevelIsReachedByItsPinAndNotByAWrongOne();
    void technologistPinDoesNotOpenEngineerControls();
    void threeWrongPinsInARowLockEvenTheRightPinForAMinute();
    void lockoutSurvivesARestartUntilItsEnd();
    void idleTimeReturnsToOperatorAndActivityPostponesIt();
    void storedDigestIsNotThePin();
    void malformedPinIsRefusedWithoutCounting();
    void damagedLevelTableKeepsOperatorAndOpensNothing_data();
    void damagedLevelTableKeepsOperatorAndOpensNothing();
    void resetTurnsAccessOffAndRepairsTheTable();
    void pinsRemovedByHandNeverSwitchTheLevelsOff();
};

void tst_AccessControl::refusedLevelIsReachedByItsPinAndNotByAWrongOne()
{
    Panel panel;
    QVERIFY(panel.setPins());
    auto control = panel.start();
    QSignalSpy wrong(control.get(), &AccessControl::wrongPinEntered);
    QSignalSpy changed(control.get(), &AccessControl::levelChanged);
    QCOMPARE(control->enter("4602", AccessLevel::Technologist), AccessControl::Entry::Wrong);
    QVERIFY(!control->allows(AccessLevel::Technologist));
    QCOMPARE(wrong.size(), 1);
    QCOMPARE(changed.size(), 0);
    QCOMPARE(control->enter(TechnologistPin, AccessLevel::Technologist),
             AccessControl::Entry::Granted);
    QCOMPARE(control->level(), AccessLevel::Technologist);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).value<AccessLevel>(), AccessLevel::Operator);
    QCOMPARE(changed.at(0).at(1).value<AccessLevel>(), AccessLevel::Technologist);

    // The right PIN ends the row: two wrong ones after it are not three in a row.
    control->leave();
    QCOMPARE(control->enter("4603", AccessLevel::Technologist), AccessControl::Entry::Wrong);
    QCOMPARE(control->enter("4604", AccessLevel::Technologist), AccessControl::Entry::Wrong);
}

void tst_AccessControl::technologistPinDoesNotOpenEngineerControls()
{
    Panel panel;
    QVERIFY(panel.setPins());
    auto control = panel.start();
    QCOMPARE(control->enter(TechnologistPin, AccessLevel::Engineer), AccessControl::Entry::TooLow);
    QVERIFY(!control->allows(AccessLevel::Engineer));
    // The engineer's PIN opens the technologist's controls too.
    control->leave();
    QCOMPARE(control->enter(EngineerPin, AccessLevel::Technologist), AccessControl::Entry::Granted);
    QCOMPARE(control->level(), AccessLevel::Engineer);
}

void tst_AccessControl::threeWrongPinsInARowLockEvenTheRightPinForAMinute()
{
    Panel panel;
    QVERIFY(panel.setPins());
    auto control = panel.start();
    QSignalSpy wrong(control.get(), &AccessControl::wrongPinEntered);
    QCOMPARE(control->enter("1111", AccessLevel::Technologist), AccessControl::Entry::Wrong);
    QCOMPARE(control->enter("2222", AccessLevel::Technologist), AccessControl::Entry::Wrong);
    QCOMPARE(control->enter("3333", AccessLevel::Technologist), AccessControl::Entry::Locked);
    QCOMPARE(wrong.size(), 3);
    QCOMPARE(wrong.at(2).at(0).toInt(), 3);
    QVERIFY(wrong.at(2).at(1).toBool());
    QVERIFY(!wrong.at(1).at(1).toBool());

    panel.now += MinuteMs - 1;
    QCOMPARE(control->enter(TechnologistPin, AccessLevel::Technologist),
             AccessControl::Entry::Locked);
    QCOMPARE(control->level(), AccessLevel::Operator);
    QVERIFY(control->lockRemainingMs() > 0);
    panel.now += 1;
    QCOMPARE(control->enter(TechnologistPin, AccessLevel::Technologist),
             AccessControl::Entry::Granted);
    // After the lock the count starts from nothing: one wrong PIN does not lock again.
    control->leave();
    QCOMPARE(control->enter("4444", AccessLevel::Technologist), AccessControl::Entry::Wrong);
}

void tst_AccessControl::lockoutSurvivesARestartUntilItsEnd()
{
    Panel panel;
    QVERIFY(panel.setPins());
    {
        auto control = panel.start();
        for (int i = 0; i < AccessControl::WrongPinsBeforeLock; ++i)
            control->enter("1111", AccessLevel::Technologist);
    }
    // Its steady clock starts again from nothing.
    panel.now = 0;
    Restarted restarted(panel);
    QCOMPARE(restarted.control.enter(EngineerPin, AccessLevel::Engineer),
             AccessControl::Entry::Locked);
    QVERIFY(restarted.control.lockRemainingMs() > AccessControl::LockMs - MinuteMs / 2);
    QVERIFY(restarted.control.lockRemainingMs() <= AccessControl::LockMs);
    panel.now += restarted.control.lockRemainingMs();
    QCOMPARE(restarted.control.enter(EngineerPin, AccessLevel::Engineer),
             AccessControl::Entry::Granted);
}

void tst_AccessControl::idleTimeReturnsToOperatorAndActivityPostponesIt()
{
    Panel panel;
    QVERIFY(panel.setPins());
    auto control = panel.start();
    QCOMPARE(control->idleTimeout(), 5 * MinuteMs);
    QSignalSpy changed(control.get(), &AccessControl::levelChanged);
    QCOMPARE(control->enter(EngineerPin, AccessLevel::Engineer), AccessControl::Entry::Granted);

    panel.now += 4 * MinuteMs;
    control->noteActivity();
    panel.now += 4 * MinuteMs;
    control->checkIdle();
    QCOMPARE(control->level(), AccessLevel::Engineer);
    panel.now += MinuteMs;
    control->checkIdle();
    QCOMPARE(control->level(), AccessLevel::Operator);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(1).at(1).value<AccessLevel>(), AccessLevel::Operator);
}

void tst_AccessControl::storedDigestIsNotThePin()
{
    Panel panel;
    QVERIFY(panel.setPins());
    const QStringList rows = panel.records.select("SELECT salt, iterations, digest FROM accessPin");
    QCOMPARE(rows.size(), 6);
    QVERIFY2(!rows.join('|').contains(EngineerPin) && !rows.join('|').contains(TechnologistPin),
             qPrintable(rows.join('|')));
    QVERIFY(rows.at(1).toInt() >= 100000 && rows.at(4).toInt() >= 100000);
    QCOMPARE(QByteArray::fromBase64(rows.at(2).toLatin1()).size(), 32);
}

void tst_AccessControl::malformedPinIsRefusedWithoutCounting()
{
    Panel panel;
    QVERIFY(panel.setPins());
    auto control = panel.start();
    QSignalSpy wrong(control.get(), &AccessControl::wrongPinEntered);
    for (const char *pin : {"91a7", "913", "913700000", ""})
        QCOMPARE(control->enter(pin, AccessLevel::Technologist), AccessControl::Entry::Malformed);
    QCOMPARE(wrong.size(), 0);
    QCOMPARE(control->enter(TechnologistPin, AccessLevel::Technologist),
             AccessControl::Entry::Granted);
}

void tst_AccessControl::damagedLevelTableKeepsOperatorAndOpensNothing_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("other columns")
        << "DROP TABLE accessPin; CREATE TABLE accessPin (note TEXT); INSERT INTO accessPin "
           "VALUES ('x');";
    QTest::newRow("cheap digest") << "UPDATE accessPin SET iterations = 1;";
    QTest::newRow("digest cut") << "UPDATE accessPin SET digest = 'AAAA' WHERE level = 3;";
}

void tst_AccessControl::damagedLevelTableKeepsOperatorAndOpensNothing()
{
    QFETCH(QString, damage);
    Panel panel;
    QVERIFY(panel.setPins());
    for (const QString &statement : damage.split(';', Qt::SkipEmptyParts))
        QVERIFY2(panel.records.exec(statement), qPrintable(statement));

    Database database(panel.records.path());
    AccessStore store(database);
    QVERIFY(store.isDamaged());
    QVERIFY(!store.problem().isEmpty());
    AccessControl control(store);
    QVERIFY(control.isEnabled());
    QCOMPARE(control.level(), AccessLevel::Operator);
    QVERIFY(control.enter(EngineerPin, AccessLevel::Engineer) != AccessControl::Entry::Granted);
    QVERIFY(!control.allows(AccessLevel::Technologist));
    QString problem;
    QVERIFY(!control.setPin(AccessLevel::Engineer, "1357", problem));
}

void tst_AccessControl::resetTurnsAccessOffAndRepairsTheTable()
{
    Panel panel;
    QVERIFY(panel.setPins());
    QVERIFY(panel.records.exec("DROP TABLE accessPin"));
    QVERIFY(panel.records.exec("CREATE TABLE accessPin (note TEXT)"));
    QVERIFY(!panel.store.load());
    QVERIFY(panel.store.resetPins());
    QVERIFY(!panel.store.isDamaged());
    auto control = panel.start();
    QVERIFY(!control->isEnabled());
    QString problem;
    QVERIFY(control->setPin(AccessLevel::Engineer, "8642", problem));
    QVERIFY(control->isEnabled());
}

void tst_AccessControl::pinsRemovedByHandNeverSwitchTheLevelsOff()
{
    for (const char *removal : {"DROP TABLE accessPin", "DELETE FROM accessPin"}) {
        Panel panel;
        QVERIFY(panel.setPins());
        QVERIFY(panel.records.exec(removal));
        Database database(panel.records.path());
        AccessStore store(database);
        QVERIFY2(store.isDamaged(), removal);
        AccessControl control(store);
        QVERIFY(control.isEnabled());
        QCOMPARE(control.level(), AccessLevel::Operator);
        // The recovery tool's reset is the way back, and it switches them off for good.
        QVERIFY(store.resetPins());
        AccessStore reopened(database);
        QVERIFY(!reopened.isDamaged());
        QVERIFY(!AccessControl(reopened).isEnabled());
    }
}

QTEST_GUILESS_MAIN(tst_AccessControl)
#include "tst_accesscontrol.moc"
