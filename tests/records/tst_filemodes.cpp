// Who may read data.db and the settings file, and whether the console may write its records.
#include "database.h"
#include "datafileaccess.h"
#include "filemodes.h"
#include "temporarydatabase.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

namespace {

unsigned modeOf(const QString &path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

bool setMode(const QString &path, unsigned mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class tst_FileModes : public QObject
{
    Q_OBJECT

private slots:
    void newFileIsTheOwnersAloneOrInASharedFolderTheGroupsWhateverTheUmask();
    void tighteningTakesOthersRightsFromRecordsAndTheirLogsOnly();
    void unwritableRecordsAreToldWithTheirReason_data();
    void unwritableRecordsAreToldWithTheirReason();
};

void tst_FileModes::newFileIsTheOwnersAloneOrInASharedFolderTheGroupsWhateverTheUmask()
{
    TemporaryDatabase records;
    const mode_t previous = ::umask(0);
    const bool made = FileModes::createPrivate(records.path());
    // The group's rights survive a strict umask in the operators' set-group-ID folder.
    ::umask(077);
    const QString shared = records.folderPath() + QStringLiteral("/shared");
    QVERIFY(QDir().mkpath(shared) && setMode(shared, 02770));
    const bool madeShared = FileModes::createPrivate(shared + QStringLiteral("/data.db"));
    ::umask(previous);
    QVERIFY(made && madeShared);
    QCOMPARE(modeOf(records.path()), FileModes::PrivateMode);
    QCOMPARE(modeOf(shared + QStringLiteral("/data.db")), FileModes::SharedMode);
    // SQLite takes the empty file as a new database; an existing file is not made again.
    QVERIFY(Database(records.path()).createTables());
    QVERIFY(!FileModes::createPrivate(records.path()));
    QCOMPARE(modeOf(records.path()), FileModes::PrivateMode);
}

void tst_FileModes::tighteningTakesOthersRightsFromRecordsAndTheirLogsOnly()
{
    TemporaryDatabase records;
    const QString log = records.path() + QStringLiteral("-wal");
    const QString index = records.path() + QStringLiteral("-shm");
    for (const QString &path : {records.path(), log, index})
        QVERIFY(FileModes::createPrivate(path));
    QVERIFY(setMode(records.path(), 0664) && setMode(log, 0666));

    const QList<FileModes::Change> changes = FileModes::tighten(records.path());
    QCOMPARE(changes.size(), 2);
    for (const FileModes::Change &change : changes)
        QVERIFY2(change.problem.isEmpty() && change.after == modeOf(change.file),
                 qPrintable(change.problem));
    QCOMPARE(modeOf(records.path()), 0660u);
    QCOMPARE(modeOf(log), 0660u);
    QCOMPARE(modeOf(index), FileModes::PrivateMode);
    QVERIFY(FileModes::tighten(records.path()).isEmpty());
}

void tst_FileModes::unwritableRecordsAreToldWithTheirReason_data()
{
    QTest::addColumn<TemporaryDatabase::Broken>("how");
    QTest::newRow("read-only file") << TemporaryDatabase::Broken::ReadOnly;
    QTest::newRow("no folder") << TemporaryDatabase::Broken::MissingDirectory;
}

void tst_FileModes::unwritableRecordsAreToldWithTheirReason()
{
    QFETCH(TemporaryDatabase::Broken, how);
    TemporaryDatabase records;
    QVERIFY(DataFileAccess::writeProblem(Database(records.path())).isEmpty());
    const QString problem = DataFileAccess::writeProblem(Database(records.spoil(how)));
    const QString refusal = QStringLiteral("data.db недоступна для записи: ");
    QVERIFY2(problem.startsWith(refusal) && problem.size() > refusal.size(), qPrintable(problem));
}

QTEST_GUILESS_MAIN(tst_FileModes)
#include "tst_filemodes.moc"
