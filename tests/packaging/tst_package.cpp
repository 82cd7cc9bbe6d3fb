// The Debian package as a panel computer gets it: packed from the build, its contents and
// dependencies, and the unpacked console working against the unpacked simulated doser.
#include "simulatorprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int ToolTimeoutMs = 120000;
// The console polls the doser every few hundred milliseconds once its port is open.
constexpr int FirstRequestsMs = 15000;
constexpr int EnoughRequests = 5;

// Runs a tool to its end; its standard output, or a null array when it failed.
QByteArray run(const QString &program, const QStringList &arguments,
               const QString &folder = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(ToolTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning().noquote() << program << arguments.join(QLatin1Char(' '))
                             << process.readAllStandardError();
        return {};
    }
    return process.readAllStandardOutput() + QByteArray(1, '\n');
}

} // namespace

class PackageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void packageHoldsProgramsAndEntries();
    void dependenciesComeFromSharedLibraries();
    void postinstGivesWorkingFolderToGroup();
    void menuEntryStartsInWorkingFolderWithOwnIcon();
    void unpackedConsoleRunsAgainstUnpackedSimulator();

private:
    QString field(const QString &name);

    QTemporaryDir scratch;
    QString package;
    QString root;
    QByteArray contents;
};

void PackageTest::initTestCase()
{
    QVERIFY(scratch.isValid());
    const QString out = scratch.filePath(QStringLiteral("package"));
    QVERIFY(!run(QStringLiteral("cpack"),
                 {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                  QStringLiteral(K310_BUILD_ROOT "/CPackConfig.cmake"), QStringLiteral("-B"), out},
                 scratch.path())
                 .isNull());
    const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    package = QDir(out).filePath(debs.first());
    contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), package});
    root = scratch.filePath(QStringLiteral("root"));
    QVERIFY(!run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), package, root}).isNull());
}

QString PackageTest::field(const QString &name)
{
    return QString::fromUtf8(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), package, name}))
        .trimmed();
}

void PackageTest::packageHoldsProgramsAndEntries()
{
    const QStringList expected = {
        QStringLiteral("./usr/bin/k310console"),
        QStringLiteral("./usr/bin/k310sim"),
        QStringLiteral("./usr/share/applications/k310console.desktop"),
        QStringLiteral("./usr/share/icons/hicolor/48x48/apps/k310console.png"),
        QStringLiteral("./usr/share/k310/autostart/k310console.desktop"),
    };
    for (const QString &path : expected)
        QVERIFY2(contents.contains(' ' + path.toUtf8() + '\n'), qPrintable(path));
    // The kiosk entry is there to be enabled, not enabled by installing.
    QVERIFY(!contents.contains("/etc/xdg/autostart"));
    // Nothing of the build or the tests.
    QVERIFY(!contents.contains("tst_"));
    QVERIFY(!contents.contains(".a\n"));
    QVERIFY(QFileInfo(root + QStringLiteral("/usr/bin/k310console")).isExecutable());
}

void PackageTest::dependenciesComeFromSharedLibraries()
{
    const QString depends = field(QStringLiteral("Depends"));
    QVERIFY2(depends.contains(QStringLiteral("libqt6widgets6")), qPrintable(depends));
    QVERIFY2(depends.contains(QStringLiteral("libsqlite3-0")), qPrintable(depends));
    QVERIFY2(depends.contains(QStringLiteral("libc6")), qPrintable(depends));
}

void PackageTest::postinstGivesWorkingFolderToGroup()
{
    const QString control = scratch.filePath(QStringLiteral("control"));
    QVERIFY(!run(QStringLiteral("dpkg-deb"), {QStringLiteral("-e"), package, control}).isNull());
    QFile postinst(control + QStringLiteral("/postinst"));
    QVERIFY(postinst.open(QIODevice::ReadOnly));
    QVERIFY(postinst.permissions() & QFile::ExeOwner);
    const QByteArray script = postinst.readAll();
    QVERIFY(script.contains("addgroup --system k310"));
    QVERIFY(script.contains("chgrp k310 \"$dir\""));
    QVERIFY(script.contains("/var/lib/k310/backup"));
    // Run in a scratch root it must at least be sound shell.
    QVERIFY(!run(QStringLiteral("sh"), {QStringLiteral("-n"), postinst.fileName()}).isNull());
}

void PackageTest::menuEntryStartsInWorkingFolderWithOwnIcon()
{
    for (const QString &entry : {QStringLiteral("/usr/share/applications/k310console.desktop"),
                                 QStringLiteral("/usr/share/k310/autostart/k310console.desktop")}) {
        QSettings desktop(root + entry, QSettings::IniFormat);
        desktop.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(desktop.value(QStringLiteral("Exec")).toString(), QStringLiteral("k310console"));
        QCOMPARE(desktop.value(QStringLiteral("Path")).toString(), QStringLiteral("/var/lib/k310"));
        const QString icon = desktop.value(QStringLiteral("Icon")).toString();
        QVERIFY(QFile::exists(root + QStringLiteral("/usr/share/icons/hicolor/48x48/apps/") + icon
                              + QStringLiteral(".png")));
    }
}

void PackageTest::unpackedConsoleRunsAgainstUnpackedSimulator()
{
    SimulatorProcess simulator(root + QStringLiteral("/usr/bin/k310sim"));
    QVERIFY(simulator.start(
        {QStringLiteral("--seed"), QStringLiteral("1"), QStringLiteral("--log-frames")}));

    // The console reopens the port remembered in its settings: the simulator's.
    const QString config = scratch.filePath(QStringLiteral("config"));
    {
        QSettings settings(config + QStringLiteral("/KESTA/K310_Test.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("comPort"), simulator.portPath());
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("K310_EXTRA_PORTS"), simulator.portPath());

    // Where the menu entry starts it, as the postinst makes it.
    const QString workingFolder = root + QStringLiteral("/var/lib/k310");
    QVERIFY(QDir().mkpath(workingFolder));
    QProcess console;
    console.setProcessEnvironment(environment);
    console.setWorkingDirectory(workingFolder);
    console.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    console.start(root + QStringLiteral("/usr/bin/k310console"));
    QVERIFY(console.waitForStarted());

    const auto requests = [&simulator] {
        int count = 0;
        for (const QString &line : simulator.logLines())
            count += line.contains(QStringLiteral("<- ")) ? 1 : 0;
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(requests() >= EnoughRequests, FirstRequestsMs);
    QCOMPARE(console.state(), QProcess::Running);
    QVERIFY(QFile::exists(workingFolder + QStringLiteral("/data.db")));

    console.terminate();
    QVERIFY(console.waitForFinished());
    QCOMPARE(simulator.stop(), 0);
}

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"
