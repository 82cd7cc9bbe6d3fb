#include "simulatoroptions.h"

#include <QTest>

namespace {

QStringList commandLine(const QStringList &arguments)
{
    return QStringList {QStringLiteral("k310sim")} + arguments;
}

} // namespace

class tst_SimulatorOptions : public QObject
{
    Q_OBJECT

private slots:
    void defaultsDescribeTheStandardDoser();
    void flagsSetTheDoser();
    void lineOfDosersTakesOneValueEachOrOneForAll();
    void invalidCommandLinesAreRefused_data();
    void invalidCommandLinesAreRefused();
    void helpListsTheFlags();
    void errorRulesAreRead_data();
    void errorRulesAreRead();
};

void tst_SimulatorOptions::defaultsDescribeTheStandardDoser()
{
    SimulatorOptions options;
    QCOMPARE(options.parse(commandLine({})), SimulatorOptions::Outcome::Run);
    const DoserParameters &p = options.parameters;
    QCOMPARE(p.address, 30);
    QCOMPARE(p.npd, 30.0);
    QCOMPARE(p.scale, 2);
    QCOMPARE(p.unit, 1);
    QCOMPARE(p.totalUnit, 1);
    QCOMPARE(p.versionValue, quint32(107));
    QCOMPARE(p.versionDecimals, 2);
    QCOMPARE(p.plusTolerance, 0.5);
    QCOMPARE(p.minusTolerance, 0.5);
    QCOMPARE(p.doseWeight, 10.0);
    QVERIFY(options.device.isEmpty());
    QCOMPARE(options.baudRate, 38400);
    QVERIFY(!options.seedGiven);
    QVERIFY(!options.logFrames);
    QVERIFY(options.errors.isEmpty());
    QVERIFY(options.faults.isEmpty());
}

void tst_SimulatorOptions::flagsSetTheDoser()
{
    SimulatorOptions options;
    QCOMPARE(options.parse(commandLine({"-a",
                                        "7",
                                        "--npd",
                                        "150",
                                        "--scale",
                                        "1",
                                        "--unit",
                                        "2",
                                        "--total-unit",
                                        "0",
                                        "--software-version",
                                        "2.5",
                                        "--plus-tolerance",
                                        "1.5",
                                        "--minus-tolerance",
                                        "0",
                                        "--dose",
                                        "100",
                                        "--feed-rate",
                                        "20",
                                        "--settle-ms",
                                        "50",
                                        "--total-doses",
                                        "12",
                                        "--total-weight",
                                        "345.6",
                                        "--seed",
                                        "99",
                                        "-l",
                                        "-q",
                                        "--device",
                                        "/dev/ttyS1",
                                        "--baud",
                                        "9600",
                                        "--error",
                                        "8:fill=2",
                                        "--error",
                                        "5:p=0.1",
                                        "--fault",
                                        "drop:p=0.1",
                                        "--fault",
                                        "late:at=3"})),
             SimulatorOptions::Outcome::Run);
    const DoserParameters &p = options.parameters;
    QCOMPARE(p.address, 7);
    QCOMPARE(p.npd, 150.0);
    QCOMPARE(p.scale, 1);
    QCOMPARE(p.unit, 2);
    QCOMPARE(p.totalUnit, 0);
    QCOMPARE(p.versionValue, quint32(25));
    QCOMPARE(p.versionDecimals, 1);
    QCOMPARE(p.plusTolerance, 1.5);
    QCOMPARE(p.minusTolerance, 0.0);
    QCOMPARE(p.doseWeight, 100.0);
    QCOMPARE(p.feedRate, 20.0);
    QCOMPARE(p.settleMs, 50);
    QCOMPARE(p.totalDoses, quint32(12));
    QCOMPARE(p.totalWeightDigits, quint32(3456));
    QCOMPARE(options.seed, quint32(99));
    QVERIFY(options.seedGiven);
    QVERIFY(options.logFrames);
    QVERIFY(options.quiet);
    QCOMPARE(options.device, QStringLiteral("/dev/ttyS1"));
    QCOMPARE(options.baudRate, 9600);
    QCOMPARE(options.errors.size(), 2);
    QCOMPARE(options.faults.size(), 2);
    QCOMPARE(options.faults.at(1).kind, FaultRule::Kind::Late);
}

void tst_SimulatorOptions::lineOfDosersTakesOneValueEachOrOneForAll()
{
    SimulatorOptions options;
    QCOMPARE(options.parse(commandLine({"--address", "30,31,32", "--npd", "30,50,10", "--dose",
                                        "10,20,5", "--fill-error", "2,0,-1", "--in-flight-error",
                                        "0.3,0,-0.2", "--scale", "1", "--error", "8:fill=2,addr=32",
                                        "--error", "5:always"})),
             SimulatorOptions::Outcome::Run);
    QCOMPARE(options.dosers.size(), 3);
    QList<int> addresses;
    QList<double> limits;
    QList<double> misses;
    QList<double> inFlight;
    for (const DoserParameters &p : std::as_const(options.dosers)) {
        inFlight << p.inFlightError;
        addresses << p.address;
        limits << p.npd;
        misses << p.fillErrorPercent;
        QCOMPARE(p.scale, 1);
    }
    QCOMPARE(addresses, (QList<int> {30, 31, 32}));
    QCOMPARE(limits, (QList<double> {30, 50, 10}));
    QCOMPARE(misses, (QList<double> {2, 0, -1}));
    QCOMPARE(inFlight, (QList<double> {0.3, 0, -0.2}));
    QCOMPARE(options.parameters.npd, 30.0);

    QCOMPARE(options.errorsFor(30).size(), 1);
    QCOMPARE(options.errorsFor(32).size(), 2);
    QCOMPARE(SimulatorOptions::doserSeed(7, 0), quint32(7));
    QVERIFY(SimulatorOptions::doserSeed(7, 1) != SimulatorOptions::doserSeed(7, 2));
    QVERIFY(SimulatorOptions::doserSeed(7, 1) != 7);
}

void tst_SimulatorOptions::invalidCommandLinesAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("address above 127") << QStringList {"--address", "128"};
    QTest::newRow("address not a number") << QStringList {"--address", "x"};
    QTest::newRow("too many decimals") << QStringList {"--scale", "7"};
    QTest::newRow("unknown unit") << QStringList {"--unit", "3"};
    QTest::newRow("no upper limit") << QStringList {"--npd", "0"};
    QTest::newRow("limit beyond the value field")
        << QStringList {"--npd", "83886.08", "--scale", "2"};
    QTest::newRow("tolerance above the limit") << QStringList {"--plus-tolerance", "31"};
    QTest::newRow("negative tolerance") << QStringList {"--minus-tolerance", "-0.1"};
    QTest::newRow("dose above the limit") << QStringList {"--dose", "30.01"};
    QTest::newRow("no feed") << QStringList {"--feed-rate", "0"};
    QTest::newRow("odd bit rate") << QStringList {"--baud", "12345"};
    QTest::newRow("version with two points") << QStringList {"--software-version", "1.2.3"};
    QTest::newRow("version in words") << QStringList {"--software-version", "new"};
    QTest::newRow("seed in words") << QStringList {"--seed", "lucky"};
    QTest::newRow("bad error rule") << QStringList {"--error", "8"};
    QTest::newRow("bad fault rule") << QStringList {"--fault", "drop"};
    QTest::newRow("unknown flag") << QStringList {"--colour", "red"};
    QTest::newRow("stray argument") << QStringList {"/dev/ttyS0"};
    QTest::newRow("list shorter than the line")
        << QStringList {"--address", "30,31,32", "--npd", "30,50"};
    QTest::newRow("list for a single doser") << QStringList {"--fill-error", "1,2"};
    QTest::newRow("address given twice") << QStringList {"--address", "30,31,30"};
    QTest::newRow("address in a list above 127") << QStringList {"--address", "30,128"};
    QTest::newRow("empty place in the list") << QStringList {"--address", "30,"};
    QTest::newRow("one doser's dose above its limit")
        << QStringList {"--address", "30,31", "--npd", "30,5", "--dose", "10"};
    QTest::newRow("error for an address above 127") << QStringList {"--error", "8:fill=2,addr=200"};
    QTest::newRow("fault for an address not on the line")
        << QStringList {"--address", "30,31", "--fault", "drop:p=1,addr=32"};
}

void tst_SimulatorOptions::invalidCommandLinesAreRefused()
{
    QFETCH(QStringList, arguments);
    SimulatorOptions options;
    QCOMPARE(options.parse(commandLine(arguments)), SimulatorOptions::Outcome::Invalid);
    QVERIFY(!options.errorText().isEmpty());
}

void tst_SimulatorOptions::helpListsTheFlags()
{
    SimulatorOptions options;
    QCOMPARE(options.parse(commandLine({"--help"})), SimulatorOptions::Outcome::ShowHelp);
    const QString help = options.helpText();
    for (const char *flag : {"--address", "--device", "--npd", "--scale", "--unit", "--seed",
                             "--error", "--fault", "--log-frames", "Default: 30."})
        QVERIFY2(help.contains(QLatin1String(flag)), flag);
}

void tst_SimulatorOptions::errorRulesAreRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("trigger");
    QTest::addColumn<qint64>("number");

    const int fill = int(ErrorRule::Trigger::FillNumber);
    const int discharge = int(ErrorRule::Trigger::DischargeNumber);
    const int time = int(ErrorRule::Trigger::Time);
    const int chance = int(ErrorRule::Trigger::Probability);
    const int always = int(ErrorRule::Trigger::Always);
    QTest::newRow("third fill") << "8:fill=3" << true << 8 << fill << 3ll;
    QTest::newRow("first discharge") << "10:discharge=1" << true << 10 << discharge << 1ll;
    QTest::newRow("after seconds") << "3:t=1.5" << true << 3 << time << 1500ll;
    QTest::newRow("by chance") << "5:p=0.25" << true << 5 << chance << 0ll;
    QTest::newRow("always") << "9:always" << true << 9 << always << 0ll;
    QTest::newRow("code zero") << "0:always" << false << 0 << 0 << 0ll;
    QTest::newRow("code too big") << "256:always" << false << 0 << 0 << 0ll;
    QTest::newRow("no trigger") << "8" << false << 0 << 0 << 0ll;
    QTest::newRow("fill zero") << "8:fill=0" << false << 0 << 0 << 0ll;
    QTest::newRow("negative time") << "8:t=-1" << false << 0 << 0 << 0ll;
    QTest::newRow("chance above one") << "8:p=2" << false << 0 << 0 << 0ll;
    QTest::newRow("unknown trigger") << "8:sometimes" << false << 0 << 0 << 0ll;
}

void tst_SimulatorOptions::errorRulesAreRead()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, code);
    QFETCH(int, trigger);
    QFETCH(qint64, number);
    ErrorRule rule;
    QString error;
    QCOMPARE(ErrorRule::parse(text, &rule, &error), valid);
    QCOMPARE(error.isEmpty(), valid);
    if (!valid)
        return;
    QCOMPARE(rule.code, code);
    QCOMPARE(int(rule.trigger), trigger);
    QCOMPARE(rule.number, number);
}

QTEST_GUILESS_MAIN(tst_SimulatorOptions)
#include "tst_simulatoroptions.moc"
