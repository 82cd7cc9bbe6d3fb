// The plant link of the whole console against the simulated doser: the dialog sets it, a batch
// runs while the broker and the console itself are killed and started again, and what the
// plant's reader and SCADA see is what the panel and data.db hold, the batch's lot included; the
// plant's orders wait in the schedule until it runs on its own.
#include "brokerprocess.h"
#include "butchreport.h"
#include "consolerig.h"
#include "database.h"
#include "doseoptions.h"
#include "k310_halvern.h"
#include "k310settings.h"
#include "lineeditembedded.h"
#include "modbusregistermap.h"
#include "modbusserver.h"
#include "mqttreader.h"
#include "plantlink.h"
#include "plantlinkdialog.h"
#include "schedulewindow.h"
#include "stat.h"
#include "windows1251.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <csignal>

namespace {

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Restore = QStringLiteral("Последнее задание не завершено.\nВосстановить данные?");
const QString Done = QStringLiteral("Задание выполнено");
const QString Yes = QStringLiteral("Да");
const QString Prefix = QStringLiteral("plant/line1");
// The broker's return, the publisher's retry and the resend, on a busy machine.
constexpr int ForwardedMs = 30000;
// Below this the discharge is over and what is left is the load cell's jitter, in kg.
constexpr double EmptyHopper = 0.1;

int doseRows(ConsoleRig &rig)
{
    return rig.records().select("SELECT count(*) FROM dose").value(0).toInt();
}

// Each dose id once, in the order it first came: a reader drops the repeats by their id.
QStringList forwardedDoses(const MqttReader &reader)
{
    QStringList ids;
    for (const MqttReader::Message &message : reader.ofKind("dose")) {
        const QString id = QString::number(message.json().value("doseId").toInteger());
        if (!ids.contains(id))
            ids << id;
    }
    return ids;
}

QStringList recordedDoses(ConsoleRig &rig)
{
    return rig.records().select("SELECT idDose FROM dose ORDER BY idDose");
}

QStringList batchEvents(const MqttReader &reader)
{
    QStringList events;
    QList<qint64> seen;
    for (const MqttReader::Message &message : reader.ofKind("batch")) {
        const QJsonObject json = message.json();
        if (seen.contains(json.value("eventId").toInteger()))
            continue;
        seen << json.value("eventId").toInteger();
        events << json.value("event").toString();
    }
    return events;
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void storeLink(int brokerPort)
{
    PlantLinkSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = brokerPort;
    settings.prefix = Prefix;
    settings.save(*k310Settings::makeStore());
}

QList<quint16> readRegisters(QModbusTcpClient &client, int start, int count)
{
    std::unique_ptr<QModbusReply> reply(client.sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::InputRegisters, start, quint16(count)),
        ModbusServer::UnitId));
    if (!reply || !QTest::qWaitFor([&] { return reply->isFinished(); }, 5000))
        return {};
    return reply->result().values();
}

// Registers holding text two bytes each, high byte first, up to the first zero byte.
QByteArray textOf(const QList<quint16> &registers)
{
    QByteArray text;
    for (const quint16 value : registers)
        text.append(char(value >> 8)).append(char(value & 0xFF));
    const qsizetype end = text.indexOf('\0');
    return end < 0 ? text : text.left(end);
}

qint32 word32(const QList<quint16> &registers, int at)
{
    return qint32((quint32(registers.value(at)) << 16) | registers.value(at + 1));
}

// The console, the plant's broker and its durable reader, the simulated doser running.
struct Plant
{
    bool start()
    {
        return broker.start() && reader.connectTo(broker.port(), Prefix)
               && rig.startSimulator(ConsoleRig::quickDoser());
    }

    ConsoleRig rig;
    BrokerProcess broker;
    MqttReader reader;
};

} // namespace

class tst_PlantConsole : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void brokerKilledMidBatchLosesNoDoseAndScadaReadsThePanel();
    void killedConsoleForwardsWhatItRecordedAfterItsRestart();
    void plantOrdersWaitInTheScheduleUntilItRunsOnItsOwn();
};

void tst_PlantConsole::initTestCase()
{
    if (BrokerProcess::program().isEmpty())
        QFAIL("mosquitto is not installed (scripts/install-deps.sh installs it)");
}

void tst_PlantConsole::brokerKilledMidBatchLosesNoDoseAndScadaReadsThePanel()
{
    Plant plant;
    QVERIFY(plant.start());
    ConsoleRig &rig = plant.rig;
    BrokerProcess &broker = plant.broker;
    const MqttReader &reader = plant.reader;
    rig.operatorAtPanel().answer(NewWork, Yes);
    // Every batch takes a lot, offered from a pattern.
    DoseOptions options;
    options.lotNumber = true;
    options.lotPattern = QStringLiteral("П{ГГ}-{NNN}");
    options.save(*k310Settings::makeStore());
    K310_Halvern *console = rig.startConsole();
    rig.waitForDoser();

    rig.click("plantLinkButton");
    PlantLinkDialog *dialog = console->plantLinkDialogShown();
    QVERIFY(dialog && dialog->isVisible());
    const int modbusPort = freePort();
    const auto type = [dialog](const char *field, const QString &text) {
        dialog->findChild<LineEditEmbedded *>(field)->acceptKeyboardText(text);
    };
    type("hostEdit", "127.0.0.1");
    type("portEdit", QString::number(broker.port()));
    type("prefixEdit", Prefix);
    type("modbusPortEdit", QString::number(modbusPort));
    dialog->findChild<QPushButton *>("saveButton")->click();
    QTRY_VERIFY2(dialog->mqttStatusText().contains("подключено"),
                 qPrintable(dialog->mqttStatusText()));
    QVERIFY2(dialog->modbusStatusText().contains("открыт"), qPrintable(dialog->modbusStatusText()));
    QCOMPARE(PlantLinkSettings::load(*k310Settings::makeStore()).port, broker.port());
    dialog->findChild<QPushButton *>("closeButton")->click();

    QModbusTcpClient scada;
    scada.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    scada.setConnectionParameter(QModbusDevice::NetworkPortParameter, modbusPort);
    QVERIFY(scada.connectDevice());
    QTRY_COMPARE(scada.state(), QModbusDevice::ConnectedState);

    rig.prepareBatch(QStringLiteral("Комбикорм"), QStringLiteral("90"));
    // An empty lot starts nothing; the lot offered again is taken.
    PanelOperator &person = rig.operatorAtPanel();
    person.typing << QString();
    rig.click("startButton");
    QCOMPARE(rig.records().select("SELECT count(*) FROM butch"), QStringList {"0"});
    rig.click("startButton");
    QCOMPARE(person.offered.size(), 2);
    const QString lot = person.offered.last();
    QCOMPARE(person.offered.first(), lot);
    QCOMPARE(lot, QStringLiteral("П%1-001").arg(QDate::currentDate().year() % 100, 2, 10,
                                                QLatin1Char('0')));
    QTRY_VERIFY_WITH_TIMEOUT(doseRows(rig) >= 2, ConsoleRig::BatchMs);
    const QList<quint16> during = readRegisters(scada, 0, ModbusRegisterMap::BlockSize);
    const BatchProgress &progress = console->processImage().doser(0).batch;
    QCOMPARE(word32(during, ModbusRegisterMap::BatchId), qint32(progress.butchId));
    QCOMPARE(
        textOf(readRegisters(scada, ModbusRegisterMap::lotStart(1, 0), ModbusRegisterMap::LotSize)),
        Windows1251::encode(lot));
    QCOMPARE(word32(during, ModbusRegisterMap::Target), 9000);
    QCOMPARE(during.value(ModbusRegisterMap::StateCode), quint16(DoserState::Working));

    broker.kill();
    const int atKill = doseRows(rig);
    // The console goes on dosing; what it counts meanwhile waits in data.db.
    QTRY_VERIFY_WITH_TIMEOUT(doseRows(rig) > atKill, ConsoleRig::BatchMs);
    QTRY_VERIFY(rig.records().select("SELECT count(*) FROM plantOutbox").value(0).toInt() > 0);
    QVERIFY(broker.start());
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    QTRY_COMPARE_WITH_TIMEOUT(forwardedDoses(reader), recordedDoses(rig), ForwardedMs);
    const QStringList discharged =
        rig.records().select("SELECT dischargedWeight FROM dose ORDER BY idDose");
    const QList<MqttReader::Message> doses = reader.ofKind("dose");
    for (const MqttReader::Message &message : doses) {
        const QJsonObject json = message.json();
        const int row =
            int(recordedDoses(rig).indexOf(QString::number(json.value("doseId").toInteger())));
        QCOMPARE(json.value("discharged").toDouble(), discharged.value(row).toDouble());
        QCOMPARE(json.value("batchId").toInteger(), qint64(progress.butchId));
        QCOMPARE(json.value("lot").toString(), lot);
    }
    QTRY_COMPARE(batchEvents(reader), QStringList({"started", "finished"}));
    for (const MqttReader::Message &message : reader.ofKind("batch"))
        QCOMPARE(message.json().value("lot").toString(), lot);

    // The lot goes with the batch's records: data.db, its report, the statistics' file (last).
    QCOMPARE(rig.records().select("SELECT lot FROM butch"), QStringList {lot});
    Database records(rig.records().path());
    QVERIFY(ButchReport(records, qint64(progress.butchId)).pageText(0).join('\n').contains(lot));
    Stat statistics(rig.records().path());
    statistics.fillDates();
    statistics.fromComboBox->setCurrentIndex(0);
    QTemporaryDir folder;
    QVERIFY(statistics.saveCsv(folder.filePath("stat.csv")));
    QFile csv(folder.filePath("stat.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readAll().contains(";\"" + Windows1251::encode(lot) + "\";\n"));

    // The retained state is the panel's last word on the batch.
    const QString delivered = rig.records().select("SELECT haveDoneWeight FROM task").value(0);
    QTRY_COMPARE(QJsonDocument::fromJson(reader.last(Prefix + "/30/state"))
                     .object()
                     .value("batch")
                     .toObject()
                     .value("delivered")
                     .toDouble(),
                 delivered.toDouble());
    const QStringList linkEvents =
        rig.records().select("SELECT text FROM event WHERE kind = 24 ORDER BY idEvent");
    QVERIFY2(linkEvents.size() >= 2 && linkEvents.first().contains("потеряна")
                 && linkEvents.last().contains("подключено"),
             qPrintable(linkEvents.join(" | ")));

    // The last dose is still leaving the hopper when the batch is reported done; once it has
    // gone, SCADA reads what the panel shows. The empty hopper's reading still jitters by a
    // digit, so a poll may come between the server's answer and the look at the panel: the
    // registers are read again until none did.
    const DoserImage &doser = console->processImage().doser(0);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(doser.netWeight.value) < EmptyHopper, ConsoleRig::BatchMs);
    const auto scadaReads = [&scada] {
        const QList<quint16> block = readRegisters(scada, 0, ModbusRegisterMap::BlockSize);
        return QList<qint64> {word32(block, ModbusRegisterMap::NetWeight),
                              word32(block, ModbusRegisterMap::Delivered),
                              quint32(word32(block, ModbusRegisterMap::TotalDoseCount)),
                              word32(block, ModbusRegisterMap::TotalWeight)};
    };
    const auto panelShows = [&] {
        return QList<qint64> {ConsoleRig::hundredths(rig.text("stateK310_12")),
                              ConsoleRig::hundredths(delivered), doser.totalDoseCount,
                              ConsoleRig::hundredths(doser.totalWeight.text())};
    };
    QTRY_COMPARE(scadaReads(), panelShows());
}

void tst_PlantConsole::killedConsoleForwardsWhatItRecordedAfterItsRestart()
{
    Plant plant;
    QVERIFY(plant.start());
    ConsoleRig &rig = plant.rig;
    BrokerProcess &broker = plant.broker;
    const MqttReader &reader = plant.reader;
    storeLink(broker.port());

    QProcess first;
    QVERIFY(rig.startChildBatch(first, QStringLiteral("Комбикорм"), QStringLiteral("120")));
    QTRY_VERIFY_WITH_TIMEOUT(doseRows(rig) >= 2, ConsoleRig::BatchMs);
    broker.kill();
    const int atKill = doseRows(rig);
    QTRY_VERIFY_WITH_TIMEOUT(doseRows(rig) > atKill, ConsoleRig::BatchMs);
    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished());
    // Recorded, never sent: only data.db knows of it now.
    QVERIFY(rig.records().select("SELECT count(*) FROM plantOutbox").value(0).toInt() > 0);
    QVERIFY(forwardedDoses(reader).size() < recordedDoses(rig).size());

    QVERIFY(broker.start());
    rig.operatorAtPanel().answer(Restore, Yes);
    rig.startConsole();
    rig.waitForDoser();
    QTRY_VERIFY(rig.console()->findChild<QPushButton *>("continueButton")->isEnabled());
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);
    // Closed as soon as the batch is done: its end and the panel's last state leave first.
    const QString statusTopic = Prefix + "/console/status";
    const int heardBeforeClose = int(reader.messages().size());
    rig.closeConsole();
    const auto offlineAtClose = [&] {
        const QList<MqttReader::Message> heard = reader.messages();
        for (int n = heardBeforeClose; n < heard.size(); ++n) {
            if (heard.at(n).topic == statusTopic && heard.at(n).payload == "offline")
                return n;
        }
        return -1;
    };
    QTRY_VERIFY(offlineAtClose() >= 0);
    const QList<MqttReader::Message> heard = reader.messages().mid(0, offlineAtClose());
    const auto lastOf = [&heard](const QString &kind) {
        for (auto message = heard.crbegin(); message != heard.crend(); ++message) {
            if (message->topic.endsWith("/" + kind))
                return message->json();
        }
        return QJsonObject();
    };
    QCOMPARE(lastOf("batch").value("event").toString(), QString("finished"));
    const QString stateAtClose =
        lastOf("state").value("batch").toObject().value("state").toString();
    QVERIFY2(!stateAtClose.isEmpty() && stateAtClose != "running", qPrintable(stateAtClose));

    QTRY_COMPARE_WITH_TIMEOUT(forwardedDoses(reader), recordedDoses(rig), ForwardedMs);
    QTRY_COMPARE(batchEvents(reader),
                 QStringList({"started", "restored", "continued", "finished"}));
    // Without the lot option the batch has none, and no message names one.
    QCOMPARE(rig.records().select("SELECT ifnull(lot, 'none') FROM butch"), QStringList {"none"});
    for (const MqttReader::Message &message : reader.messages())
        QVERIFY2(!message.payload.contains("\"lot\""), message.payload.constData());
    QTRY_COMPARE(rig.records().select("SELECT count(*) FROM plantOutbox"), QStringList {"0"});
}

void tst_PlantConsole::plantOrdersWaitInTheScheduleUntilItRunsOnItsOwn()
{
    Plant plant;
    QVERIFY(plant.start());
    ConsoleRig &rig = plant.rig;
    MqttReader &reader = plant.reader;
    rig.operatorAtPanel().answer(NewWork, Yes);
    K310_Halvern *console = rig.startConsole();
    rig.waitForDoser();
    const int doser = console->processImage().doser(0).deviceId;

    rig.click("plantLinkButton");
    PlantLinkDialog *dialog = console->plantLinkDialogShown();
    const int modbusPort = freePort();
    for (const auto &[field, text] : {std::pair {"hostEdit", QStringLiteral("127.0.0.1")},
                                      {"portEdit", QString::number(plant.broker.port())},
                                      {"prefixEdit", Prefix},
                                      {"modbusPortEdit", QString::number(modbusPort)}})
        dialog->findChild<LineEditEmbedded *>(field)->acceptKeyboardText(text);
    dialog->findChild<QCheckBox *>("ordersBox")->setChecked(true);
    dialog->findChild<QPushButton *>("saveButton")->click();
    QVERIFY(PlantLinkSettings::load(*k310Settings::makeStore()).acceptsOrders);
    QTRY_VERIFY(dialog->mqttStatusText().contains("подключено"));

    const auto order = [&](const QString &id) {
        const QJsonObject fields {{"orderId", id},
                                  {"product", "Комбикорм"},
                                  {"doser", doser},
                                  {"size", 30},
                                  {"lot", "З-" + id}};
        const int answered = int(reader.ofKind("result").size());
        return reader.publish(Prefix + "/console/orders", QJsonDocument(fields).toJson())
               && QTest::qWaitFor([&] { return reader.ofKind("result").size() > answered; },
                                  ForwardedMs)
               && reader.ofKind("result").last().json().value("accepted").toBool();
    };
    const auto schedule = [&reader] {
        return QJsonDocument::fromJson(reader.last(Prefix + "/console/schedule")).object();
    };
    // The running entry is listed first: the plant finds its order by its id.
    const auto stateOf = [&schedule](const QString &orderId) {
        for (const QJsonValue entry : schedule().value("entries").toArray()) {
            if (entry.toObject().value("orderId").toString() == orderId)
                return entry.toObject().value("state").toString();
        }
        return QString();
    };
    const auto butches = [&rig] { return rig.records().select("SELECT count(*) FROM butch"); };

    // Taken into the schedule, the order starts nothing while the schedule stands.
    QVERIFY(order("P-1"));
    QTRY_COMPARE(stateOf("P-1"), QString("waiting"));
    QCOMPARE(schedule().value("running").toBool(), false);
    QCOMPARE(butches(), QStringList {"0"});

    // Run on its own, the schedule does the order and then waits for the next.
    QTimer::singleShot(300, console, [] {
        auto *window = qobject_cast<ScheduleWindow *>(QApplication::activeModalWidget());
        QVERIFY(window);
        QTest::mouseClick(window->findChild<QCheckBox *>("automaticBox"), Qt::LeftButton);
        QTest::mouseClick(window->findChild<QPushButton *>("startButton"), Qt::LeftButton);
        QTest::mouseClick(window->findChild<QPushButton *>("closeButton"), Qt::LeftButton);
    });
    rig.click("scheduleButton");
    QTRY_COMPARE_WITH_TIMEOUT(stateOf("P-1"), QString("done"), ConsoleRig::BatchMs);
    QVERIFY(schedule().value("running").toBool());
    QVERIFY(order("P-2"));
    // SCADA reads where the schedule stands: running, the second entry of two, no batch of it
    // done yet of one.
    QModbusTcpClient scada;
    scada.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    scada.setConnectionParameter(QModbusDevice::NetworkPortParameter, modbusPort);
    QVERIFY(scada.connectDevice());
    QTRY_COMPARE(scada.state(), QModbusDevice::ConnectedState);
    QTRY_COMPARE_WITH_TIMEOUT(stateOf("P-2"), QString("running"), ConsoleRig::BatchMs);
    QCOMPARE(readRegisters(scada, ModbusRegisterMap::queueStart(1), ModbusRegisterMap::QueueSize),
             QList<quint16>({1, 2, 2, 0, 1}));
    QTRY_COMPARE_WITH_TIMEOUT(stateOf("P-2"), QString("done"), ConsoleRig::BatchMs);
    QCOMPARE(butches(), QStringList {"2"});
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (ConsoleRig::isChild())
        return ConsoleRig::runChildBatch();
    tst_PlantConsole test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plantconsole.moc"
