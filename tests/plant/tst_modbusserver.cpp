// The Modbus server's bounds, over real sockets on 127.0.0.1: the connection limit, idle
// connections, malformed frames, the allowed clients, and how often refusals reach the journal.
#include "database.h"
#include "modbusserver.h"
#include "plantlink.h"
#include "plantlinksettings.h"
#include "processimage.h"
#include "temporarydatabase.h"

#include <QDataStream>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr int ShortIdleMs = 300;
constexpr int ShortFrameMs = 300;
constexpr int AnswerMs = 5000;

// An MBAP frame with the header fields as given, whatever the PDU is.
QByteArray frame(quint16 transaction, quint16 protocol, quint16 length, const QByteArray &pdu)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << transaction << protocol << length << quint8(ModbusServer::UnitId);
    return bytes + pdu;
}

// Function 4, one register from 0.
QByteArray readPdu()
{
    return QByteArray::fromHex("0400000001");
}

QByteArray readRequest(quint16 transaction)
{
    return frame(transaction, 0, quint16(1 + readPdu().size()), readPdu());
}

// The next whole reply on the socket; empty when none comes.
QByteArray reply(QTcpSocket &socket)
{
    const auto length = [&socket] {
        const QByteArray header = socket.peek(6);
        return header.size() < 6 ? 1 << 16
                                 : 6 + ((quint8(header.at(4)) << 8) | quint8(header.at(5)));
    };
    if (!QTest::qWaitFor([&] { return socket.bytesAvailable() >= length(); }, AnswerMs))
        return {};
    return socket.read(length());
}

// A read answered: the transaction echoed, function 4 with one register's two bytes.
bool served(QTcpSocket &socket, quint16 transaction)
{
    if (socket.write(readRequest(transaction)) < 0)
        return false;
    const QByteArray answer = reply(socket);
    return answer.size() == 11 && answer.startsWith(frame(transaction, 0, 5, QByteArray()))
           && answer.at(7) == 4 && answer.at(8) == 2;
}

std::unique_ptr<QTcpSocket> connectTo(const ModbusServer &server)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
    socket->waitForConnected(AnswerMs);
    return socket;
}

// Exactly one refusal, of that kind.
bool refusedOnce(const QSignalSpy &spy, ModbusServer::Refusal kind)
{
    return spy.size() == 1 && spy.at(0).at(0).value<ModbusServer::Refusal>() == kind;
}

} // namespace

class tst_ModbusServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void seventeenthConnectionClosesTheIdlestOne();
    void idleConnectionIsClosedAndNotTakenForARefusal();
    void framesInPiecesAndBackToBackAreServed();
    void badFrameClosesItsConnectionOnly_data();
    void badFrameClosesItsConnectionOnly();
    void clientNotAllowedIsClosedAtOnce();
    void refusalsReachTheJournalOnceEachKind();
    void settingsFromBeforeTheAddressKeepServingEveryAddress();

private:
    std::unique_ptr<ModbusServer> server;
};

void tst_ModbusServer::init()
{
    server = std::make_unique<ModbusServer>(1);
    server->setFrameCompleteMs(ShortFrameMs);
    QVERIFY2(server->listen(QHostAddress::LocalHost, 0), qPrintable(server->errorString()));
}

void tst_ModbusServer::cleanup()
{
    server.reset();
}

void tst_ModbusServer::seventeenthConnectionClosesTheIdlestOne()
{
    QSignalSpy refusals(server.get(), &ModbusServer::refused);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < ModbusServer::MaxConnections; ++i) {
        clients.push_back(connectTo(*server));
        QTRY_COMPARE(server->connectionCount(), i + 1);
    }
    // Asked last long ago is client 5, not the first connected: it goes.
    constexpr int Idlest = 5;
    for (int i = 0; i < ModbusServer::MaxConnections; ++i) {
        const int client = (Idlest + i) % ModbusServer::MaxConnections;
        QVERIFY(served(*clients[client], quint16(client)));
    }
    auto newcomer = connectTo(*server);
    QTRY_COMPARE(clients[Idlest]->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(served(*newcomer, 100));
    QCOMPARE(server->connectionCount(), ModbusServer::MaxConnections);
    for (int i = 0; i < ModbusServer::MaxConnections; ++i) {
        if (i != Idlest)
            QVERIFY2(served(*clients[i], quint16(200 + i)), qPrintable(QString::number(i)));
    }
    QVERIFY(refusedOnce(refusals, ModbusServer::Refusal::ConnectionLimit));
}

void tst_ModbusServer::idleConnectionIsClosedAndNotTakenForARefusal()
{
    server->setIdleCloseMs(ShortIdleMs);
    QSignalSpy refusals(server.get(), &ModbusServer::refused);
    auto idle = connectTo(*server);
    auto busy = connectTo(*server);
    QElapsedTimer sinceConnected;
    sinceConnected.start();
    QTRY_COMPARE(server->connectionCount(), 2);
    // The busy one asks more often than the idle time: each request starts it again.
    while (idle->state() == QAbstractSocket::ConnectedState
           && !sinceConnected.hasExpired(AnswerMs)) {
        QVERIFY(served(*busy, 1));
        QTest::qWait(ShortIdleMs / 3);
    }
    QCOMPARE(idle->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(sinceConnected.elapsed() >= ShortIdleMs);
    QVERIFY(served(*busy, 2));
    QCOMPARE(server->connectionCount(), 1);
    QCOMPARE(refusals.size(), 0);
}

void tst_ModbusServer::framesInPiecesAndBackToBackAreServed()
{
    auto client = connectTo(*server);
    const QByteArray request = readRequest(7);
    client->write(request.left(3));
    client->flush();
    QTest::qWait(ShortFrameMs / 4);
    client->write(request.mid(3, 5));
    client->flush();
    QTest::qWait(ShortFrameMs / 4);
    client->write(request.mid(8));
    QCOMPARE(reply(*client).left(2), QByteArray::fromHex("0007"));

    client->write(readRequest(8) + readRequest(9));
    QCOMPARE(reply(*client).left(2), QByteArray::fromHex("0008"));
    QCOMPARE(reply(*client).left(2), QByteArray::fromHex("0009"));
    QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
}

void tst_ModbusServer::badFrameClosesItsConnectionOnly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const int length = 1 + readPdu().size();
    QTest::newRow("protocol id 1") << frame(1, 1, quint16(length), readPdu());
    QTest::newRow("length 0") << frame(1, 0, 0, readPdu());
    QTest::newRow("length 300") << frame(1, 0, 300, readPdu() + QByteArray(294, '\0'));
    QTest::newRow("length short of the request")
        << frame(1, 0, quint16(length - 2), readPdu()) + readRequest(2);
    // The next frame's first bytes make up the promised length.
    QTest::newRow("length beyond the request, a frame behind")
        << frame(1, 0, quint16(length + 3), readPdu()) + readRequest(2);
    QTest::newRow("length beyond the request, nothing behind")
        << frame(1, 0, quint16(length + 3), readPdu());
}

void tst_ModbusServer::badFrameClosesItsConnectionOnly()
{
    QFETCH(QByteArray, bytes);
    QSignalSpy refusals(server.get(), &ModbusServer::refused);
    auto good = connectTo(*server);
    auto bad = connectTo(*server);
    QVERIFY(served(*good, 1));
    bad->write(bytes);
    QTRY_COMPARE(bad->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(bad->readAll().isEmpty());
    QVERIFY(served(*good, 2));
    QVERIFY(refusedOnce(refusals, ModbusServer::Refusal::BadFrame));
}

void tst_ModbusServer::clientNotAllowedIsClosedAtOnce()
{
    server->disconnectDevice();
    server->setAllowedClients(ClientFilter({QStringLiteral("10.1.2.3")}));
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    QSignalSpy refusals(server.get(), &ModbusServer::refused);
    auto stranger = connectTo(*server);
    QTRY_COMPARE(stranger->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server->connectionCount(), 0);
    QVERIFY(refusedOnce(refusals, ModbusServer::Refusal::NotAllowed));

    server->disconnectDevice();
    server->setAllowedClients(
        ClientFilter({QStringLiteral("10.1.2.3"), QStringLiteral("127.0.0.0/8")}));
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    auto neighbour = connectTo(*server);
    QVERIFY(served(*neighbour, 1));
}

void tst_ModbusServer::refusalsReachTheJournalOnceEachKind()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    ProcessImage image(1);
    PlantLink link(image, records, files.path());
    QSignalSpy problems(&link, &PlantLink::problem);
    PlantLinkSettings settings;
    settings.modbusPort = server->serverPort();
    server.reset();
    settings.modbusClients = QStringList {QStringLiteral("10.1.2.3")};
    link.apply(settings);
    QVERIFY2(link.modbusStatus().contains(QStringLiteral("127.0.0.1")),
             qPrintable(link.modbusStatus()));

    for (int i = 0; i < 5; ++i) {
        QTcpSocket stranger;
        stranger.connectToHost(QHostAddress::LocalHost, quint16(settings.modbusPort));
        QTRY_COMPARE(stranger.state(), QAbstractSocket::UnconnectedState);
    }
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems.at(0).at(0).toString().contains(QStringLiteral("127.0.0.1")));
}

void tst_ModbusServer::settingsFromBeforeTheAddressKeepServingEveryAddress()
{
    QTemporaryDir folder;
    QSettings store(folder.filePath(QStringLiteral("k310.conf")), QSettings::IniFormat);
    store.setValue(QStringLiteral("plantLink/modbusPort"), 1502);
    QCOMPARE(PlantLinkSettings::load(store).modbusAddress,
             QString::fromLatin1(PlantLinkSettings::EveryModbusAddress));
}

QTEST_GUILESS_MAIN(tst_ModbusServer)
#include "tst_modbusserver.moc"
