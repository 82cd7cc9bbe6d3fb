// The Debian package as a panel computer gets it: packed from the build, its contents and
// dependencies, and the unpacked console working in the menu entry's folder against the
// unpacked simulated doser.
#include "simulatorprocess.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class PackageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void packageHoldsProgramsEntriesAndSharedLibraryDependencies();
    void unpackedConsoleWorksInMenuEntryFolderAgainstSimulator();

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
    for (const char *path : {"./usr/bin/k310console\n", "./usr/bin/k310sim\n",
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
}

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"
