// The Debian package as a panel computer gets it: packed from the build, its contents and
// dependencies, lintian's verdict, its programs' hardening, its install and purge into a scratch
// system, and the unpacked console working in the menu entry's folder against the unpacked
// simulated doser, and refusing to work for an account that may not write its records.
#include "simulatorprocess.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ToolTimeoutMs = 120000;
constexpr int FirstRequestsMs = 15000;
constexpr int EnoughRequests = 5;

// Runs a tool to its end; its standard output, or a null array when it failed.
QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(ToolTimeoutMs) || process.exitCode() != 0) {
        qWarning().noquote() << program << process.readAllStandardError();
        return {};
    }
    return process.readAllStandardOutput() + '\n';
}

// Runs a tool to its end whatever it returns: its exit code (-1 for a crash), both outputs.
int runAnyway(const QString &program, const QStringList &arguments, QByteArray &output,
              const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(ToolTimeoutMs);
    output = process.readAll();
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

struct stat statusOf(const QString &path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status;
}

unsigned modeOf(const QString &path)
{
    return statusOf(path).st_mode & 07777;
}

} // namespace

class PackageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void packageHoldsProgramsEntriesAndSharedLibraryDependencies();
    void lintianFindsNoError();
    void packagedProgramsAreHardened_data();
    void packagedProgramsAreHardened();
    void purgeKeepsTheRecordsUnlessAsked_data();
    void purgeKeepsTheRecordsUnlessAsked();
    void unpackedConsoleWorksInMenuEntryFolderAgainstSimulator();
    void consoleOutsideTheGroupSaysItCannotWriteTheRecords();

private:
    QTemporaryDir scratch;
    QString package;
    QString root;
};

void PackageTest::initTestCase()
{
    const QString out = scratch.filePath(QStringLiteral("package"));
    QVERIFY(!run(QStringLiteral("cpack"),
                 {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                  QStringLiteral(K310_BUILD_ROOT "/CPackConfig.cmake"), QStringLiteral("-B"), out})
                 .isNull());
    const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    package = QDir(out).filePath(debs.first());
    root = scratch.filePath(QStringLiteral("root"));
    QVERIFY(!run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), package, root}).isNull());
}

void PackageTest::packageHoldsProgramsEntriesAndSharedLibraryDependencies()
{
    const QByteArray contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), package});
    for (const char *path :
         {"./usr/bin/k310console\n", "./usr/bin/k310sim\n", "./usr/sbin/k310access\n",
          "./usr/share/doc/k310console/changelog.Debian.gz\n",
          "./usr/share/applications/k310console.desktop\n",
          "./usr/share/icons/hicolor/48x48/apps/k310console.png\n",
          "./usr/share/k310/autostart/k310console.desktop\n"})
        QVERIFY2(contents.contains(path), path);
    // The kiosk entry is there to be enabled, not enabled by installing; nothing of the tests.
    QVERIFY(!contents.contains("/etc/xdg/autostart"));
    QVERIFY(!contents.contains("tst_"));

    const QByteArray depends =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), package, QStringLiteral("Depends")});
    for (const char *library : {"libqt6widgets6", "libsqlite3-0", "libc6"})
        QVERIFY2(depends.contains(library), depends.constData());
    const QByteArray control = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-I"), package});
    QVERIFY(control.contains("postinst"));
}

void PackageTest::lintianFindsNoError()
{
    if (QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty())
        QSKIP("lintian is not installed (scripts/install-deps.sh --tests installs it)");
    QByteArray output;
    const int status = runAnyway(QStringLiteral("lintian"), {package}, output);
    const QStringList errors =
        QString::fromUtf8(output).split(QLatin1Char('\n')).filter(QRegularExpression("^E: "));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    QVERIFY2(status == 0, output.constData());
}

void PackageTest::packagedProgramsAreHardened_data()
{
    // Checked buffer functions show only where a call's size is known to the compiler but not
    // proven safe: the simulated doser's formatted output has them, the others have no such call.
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("callsCheckedFunctions");
    QTest::newRow("console") << QStringLiteral("/usr/bin/k310console") << false;
    QTest::newRow("simulated doser") << QStringLiteral("/usr/bin/k310sim") << true;
    QTest::newRow("PIN reset") << QStringLiteral("/usr/sbin/k310access") << false;
}

void PackageTest::packagedProgramsAreHardened()
{
    QFETCH(QString, program);
    QFETCH(bool, callsCheckedFunctions);
    const auto readelf = [this, &program](const char *option) {
        return QString::fromUtf8(
            run(QStringLiteral("readelf"),
                {QStringLiteral("-W"), QLatin1String(option), root + program}));
    };
    // Position-independent, its relocations bound before main() and then read-only.
    QVERIFY(readelf("--file-header").contains(QRegularExpression("Type:\\s+DYN")));
    QVERIFY(readelf("--program-headers").contains(QStringLiteral("GNU_RELRO")));
    QVERIFY(readelf("--dynamic").contains(QRegularExpression("BIND_NOW|FLAGS_1.*\\bNOW\\b")));
    if (callsCheckedFunctions)
        QVERIFY(readelf("--dyn-syms").contains(QRegularExpression("__\\w+_chk\\b")));
}

void PackageTest::purgeKeepsTheRecordsUnlessAsked_data()
{
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<bool>("asked");
    QTest::newRow("records kept") << true << false;
    QTest::newRow("records purged when asked") << true << true;
    QTest::newRow("unused folder purged") << false << false;
}

void PackageTest::purgeKeepsTheRecordsUnlessAsked()
{
    if (::geteuid() != 0)
        QSKIP("dpkg installs into a scratch system only with root's rights");
    QFETCH(bool, recorded);
    QFETCH(bool, asked);
    // A system of its own, the maintainer scripts run outside a chroot with DPKG_ROOT set;
    // its libraries are the build machine's, so the dependencies are waived.
    QTemporaryDir system;
    for (const char *folder : {"var/lib/dpkg/info", "var/lib/dpkg/updates", "etc"})
        QVERIFY(QDir(system.path()).mkpath(QLatin1String(folder)));
    QFile(system.filePath(QStringLiteral("var/lib/dpkg/status"))).open(QIODevice::WriteOnly);
    QFile group(system.filePath(QStringLiteral("etc/group")));
    QVERIFY(group.open(QIODevice::WriteOnly) && group.write("root:x:0:\n") > 0);
    group.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("K310_PURGE_RECORDS"), asked ? "yes" : "");
    QByteArray output;
    const auto dpkg = [&](const QString &action, const QString &what) {
        return runAnyway(QStringLiteral("dpkg"),
                         {QStringLiteral("--root=") + system.path(),
                          QStringLiteral("--force-script-chrootless"),
                          QStringLiteral("--force-depends"), action, what},
                         output, environment);
    };
    QVERIFY2(dpkg(QStringLiteral("--install"), package) == 0, output.constData());
    const QString folder = system.filePath(QStringLiteral("var/lib/k310"));
    const QString records = folder + QStringLiteral("/data.db");
    const QString key = folder + QStringLiteral("/journal.key");
    QVERIFY(modeOf(folder) & S_ISGID);
    QCOMPARE(modeOf(records), 0660u);
    QCOMPARE(modeOf(key), 0640u);
    QCOMPARE(statusOf(key).st_size, off_t(32));
    QCOMPARE(statusOf(key).st_uid, uid_t(0));
    // The operators' group, made in the scratch system's group file.
    QVERIFY(group.open(QIODevice::ReadOnly));
    QVERIFY(group.readAll().contains(QByteArray("k310:x:")
                                     + QByteArray::number(statusOf(key).st_gid) + ':'));
    if (recorded) {
        QFile file(records);
        QVERIFY(file.open(QIODevice::Append) && file.write("records") > 0);
    }

    QVERIFY2(dpkg(QStringLiteral("--remove"), QStringLiteral("k310console")) == 0,
             output.constData());
    QVERIFY(!QFile::exists(system.filePath(QStringLiteral("usr/bin/k310console"))));
    QVERIFY(QFile::exists(records));
    QVERIFY2(dpkg(QStringLiteral("--purge"), QStringLiteral("k310console")) == 0,
             output.constData());
    // The records and the key that seals their journal stay or go together; the purge says
    // where they stay.
    const bool kept = recorded && !asked;
    QCOMPARE(QFile::exists(records), kept);
    QCOMPARE(QFile::exists(key), kept);
    QCOMPARE(QFile::exists(folder), kept);
    QCOMPARE(output.contains("/var/lib/k310"), kept);
}

void PackageTest::unpackedConsoleWorksInMenuEntryFolderAgainstSimulator()
{
    QSettings entry(root + QStringLiteral("/usr/share/applications/k310console.desktop"),
                    QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(entry.value(QStringLiteral("Path")).toString(), QStringLiteral("/var/lib/k310"));
    QVERIFY(QFile::exists(root + QStringLiteral("/usr/share/icons/hicolor/48x48/apps/")
                          + entry.value(QStringLiteral("Icon")).toString()
                          + QStringLiteral(".png")));
    // The postinst makes the folder on a real installation.
    const QString workingFolder = root + entry.value(QStringLiteral("Path")).toString();
    QVERIFY(QDir().mkpath(workingFolder));

    SimulatorProcess simulator(root + QStringLiteral("/usr/bin/k310sim"));
    QVERIFY(simulator.start({QStringLiteral("--log-frames")}));
    // The console reopens the port remembered in its settings: the simulator's.
    const QString config = scratch.filePath(QStringLiteral("config"));
    QSettings(config + QStringLiteral("/KESTA/K310_Test.conf"), QSettings::IniFormat)
        .setValue(QStringLiteral("comPort"), simulator.portPath());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("K310_EXTRA_PORTS"), simulator.portPath());

    QProcess console;
    console.setProcessEnvironment(environment);
    console.setWorkingDirectory(workingFolder);
    console.start(root + QStringLiteral("/usr/bin/")
                  + entry.value(QStringLiteral("Exec")).toString());
    QVERIFY(console.waitForStarted());
    const auto requests = [&simulator] {
        return int(simulator.logLines().filter(QStringLiteral("<- ")).size());
    };
    QTRY_VERIFY_WITH_TIMEOUT(requests() >= EnoughRequests, FirstRequestsMs);
    QCOMPARE(console.state(), QProcess::Running);
    QVERIFY(QFile::exists(workingFolder + QStringLiteral("/data.db")));
    console.terminate();
    QVERIFY(console.waitForFinished());
    // Outside a shared folder data.db is its maker's alone; the settings the test wrote
    // readable by everybody are not at the console's start.
    QCOMPARE(modeOf(workingFolder + QStringLiteral("/data.db")), 0600u);
    QCOMPARE(modeOf(config + QStringLiteral("/KESTA/K310_Test.conf")) & 07u, 0u);
}

void PackageTest::consoleOutsideTheGroupSaysItCannotWriteTheRecords()
{
    if (::geteuid() != 0)
        QSKIP("the console runs as another account only with root's rights");
    // The account reaches the unpacked console, a folder of root's and its own settings.
    QVERIFY(::chmod(QFile::encodeName(scratch.path()).constData(), 0755) == 0);
    const QString folder = scratch.filePath(QStringLiteral("k310"));
    const QString settings = scratch.filePath(QStringLiteral("nobody"));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(settings));
    QVERIFY(::chmod(QFile::encodeName(settings).constData(), 0777) == 0);
    const QString records = folder + QStringLiteral("/data.db");
    QFile(records).open(QIODevice::WriteOnly);
    QVERIFY(::chmod(QFile::encodeName(records).constData(), 0660) == 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), settings);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settings);
    // What the operator is shown goes to the console's diagnostics too, when they are on.
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("k310.console=true"));
    QProcess console;
    console.setProcessEnvironment(environment);
    console.setWorkingDirectory(folder);
    console.start(QStringLiteral("setpriv"),
                  {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                   QStringLiteral("--clear-groups"),
                   root + QStringLiteral("/usr/bin/k310console")});
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += console.readAllStandardError()).contains("data.db недоступна для записи: "),
        FirstRequestsMs);
    QCOMPARE(console.state(), QProcess::Running);
    console.terminate();
    QVERIFY(console.waitForFinished());
    QCOMPARE(statusOf(records).st_size, off_t(0));
}

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"
