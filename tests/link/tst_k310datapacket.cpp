#include "k310datapacket.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray encode(K310DataPacket packet)
{
    QByteArray frame(K310FrameLength, '\0');
    packet.toFrame(reinterpret_cast<quint8 *>(frame.data()));
    return frame;
}

int decode(K310DataPacket &packet, const QByteArray &frame)
{
    return packet.fromFrame(reinterpret_cast<const quint8 *>(frame.constData()),
                            quint16(frame.size()));
}

K310DataPacket request(quint8 address, quint8 command, quint8 subCommand = 0)
{
    K310DataPacket packet;
    packet.receiver = address;
    packet.command = command;
    packet.subCommand = subCommand;
    return packet;
}

} // namespace

class tst_K310DataPacket : public QObject
{
    Q_OBJECT

private slots:
    void checkCodeReferenceValues();
    void requestsEncodeToKnownFrames_data();
    void requestsEncodeToKnownFrames();
    void knownReplyDecodesField();
    void everySingleBitChangeIsRejected();
    void malformedFramesAreRejectedWithoutTouchingThePacket_data();
    void malformedFramesAreRejectedWithoutTouchingThePacket();
    void randomPacketsSurviveTheRoundTrip();
    void topBitsOfSenderAndCommandAreLostOthersSurvive();
    void frameConstructorZeroesInvalidInput();
    void nullBuffersAreRefusedWithoutTouchingThePacket();
    void copiesCarryBytesButNotValueValid();
    void equalityIgnoresLinkBookkeeping();
    void valueDecodesTwosComplement_data();
    void valueDecodesTwosComplement();
    void setValueScalesRoundsAndRejects_data();
    void setValueScalesRoundsAndRejects();
    void rawValueReadsBytesSixToNine();
    void errorReplySwapsAddressesAndRaisesAlarm();
    void toStringShowsHexBytesWithSpaceFill();
    void registersAsMetaType();
};

void tst_K310DataPacket::checkCodeReferenceValues()
{
    QCOMPARE(frameCheck(reinterpret_cast<const quint8 *>("abc"), 3), quint8(0x39));
    QCOMPARE(frameCheck(nullptr, 0), quint8(0));
}

void tst_K310DataPacket::requestsEncodeToKnownFrames_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("subCommand");
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("net weight poll") << 0 << 0 << 0.0 << 0 << hex("9E000000000000000000004B");
    QTest::newRow("dose weight 150.00") << 8 << 1 << 150.0 << 2 << hex("9E0008010000183A00020853");
}

void tst_K310DataPacket::requestsEncodeToKnownFrames()
{
    QFETCH(int, command);
    QFETCH(int, subCommand);
    QFETCH(double, number);
    QFETCH(int, decimals);
    QFETCH(QByteArray, frame);

    K310DataPacket packet = request(30, quint8(command), quint8(subCommand));
    if (number != 0)
        packet.setValue(number, quint8(decimals));
    QByteArray out(K310FrameLength, '\0');
    QCOMPARE(packet.toFrame(reinterpret_cast<quint8 *>(out.data())), 12);
    QCOMPARE(out.toHex(' '), frame.toHex(' '));
    QCOMPARE(packet.replyCount, quint8(1));

    K310DataPacket decoded;
    QCOMPARE(decode(decoded, frame), 12);
    QCOMPARE(decoded.receiver, quint8(0x9E));
    QCOMPARE(decoded.command, quint8(command));
    QCOMPARE(decoded.value(), static_cast<long double>(number));
}

void tst_K310DataPacket::knownReplyDecodesField()
{
    K310DataPacket reply;
    reply.replyCount = 5;
    reply.linkError = 2;
    QCOMPARE(decode(reply, hex("801E00000200"
                               "7D00000100"
                               "3A")),
             12);
    QCOMPARE(reply.receiver, quint8(0x80));
    QCOMPARE(reply.sender, quint8(30));
    QCOMPARE(reply.command, quint8(0));
    QCOMPARE(reply.state, quint8(0x02));
    QCOMPARE(reply.decimals, quint8(1));
    QCOMPARE(reply.value(), 12.5L);
    QCOMPARE(reply.linkError, quint8(0));
    QCOMPARE(reply.replyCount, quint8(5)); // decoding leaves the reply count alone
    QCOMPARE(encode(reply).toHex(' '), hex("801E000002007D000001003A").toHex(' '));
}

void tst_K310DataPacket::everySingleBitChangeIsRejected()
{
    const QByteArray valid = hex("9E0008010000183A00020853");
    for (int bit = 0; bit < K310FrameLength * 8; ++bit) {
        QByteArray frame = valid;
        frame[bit / 8] = char(frame.at(bit / 8) ^ (1 << (bit % 8)));
        K310DataPacket packet;
        QVERIFY2(decode(packet, frame) == -1, qPrintable(QString("bit %1 accepted").arg(bit)));
        QCOMPARE(packet, K310DataPacket());
    }
}

void tst_K310DataPacket::malformedFramesAreRejectedWithoutTouchingThePacket_data()
{
    QTest::addColumn<QByteArray>("frame");

    const QByteArray valid = hex("9E0008010000183A00020853");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("eleven bytes") << valid.left(11);
    QTest::newRow("thirteen bytes") << valid + char(0);
    QTest::newRow("two frames") << valid + valid;

    // A correct check code does not save a frame whose framing bits are wrong.
    auto withCheck = [](QByteArray frame) {
        frame[11] = char(frameCheck(reinterpret_cast<const quint8 *>(frame.constData()), 11));
        return frame;
    };
    QByteArray noStart = valid;
    noStart[0] = char(0x1E);
    QTest::newRow("byte 0 without top bit") << withCheck(noStart);
    for (int i = 1; i <= 10; ++i) {
        QByteArray high = valid;
        high[i] = char(high.at(i) | 0x80);
        QTest::newRow(qPrintable(QString("top bit in byte %1").arg(i))) << withCheck(high);
    }
    QByteArray highCheck = valid;
    highCheck[11] = char(highCheck.at(11) | 0x80);
    QTest::newRow("top bit in check byte") << highCheck;
}

void tst_K310DataPacket::malformedFramesAreRejectedWithoutTouchingThePacket()
{
    QFETCH(QByteArray, frame);

    K310DataPacket packet = request(7, 44, 3);
    packet.setValue(99, 1);
    const K310DataPacket before = packet;
    QCOMPARE(decode(packet, frame), -1);
    QCOMPARE(packet, before);
    QCOMPARE(packet.valueValid, 1);
}

void tst_K310DataPacket::randomPacketsSurviveTheRoundTrip()
{
    QRandomGenerator random(310);
    for (int round = 0; round < 20000; ++round) {
        K310DataPacket packet;
        packet.receiver = quint8(random.bounded(256)) | 0x80; // decoding keeps the start bit
        packet.sender = quint8(random.bounded(128));
        packet.command = quint8(random.bounded(128));
        packet.subCommand = quint8(random.bounded(256));
        packet.state = quint8(random.bounded(256));
        packet.errorCode = quint8(random.bounded(256));
        for (quint8 &byte : packet.valueBytes)
            byte = quint8(random.bounded(256));
        packet.decimals = quint8(random.bounded(256));

        const QByteArray frame = encode(packet);
        K310DataPacket decoded;
        QCOMPARE(decode(decoded, frame), 12);
        QVERIFY2(decoded == packet, qPrintable(packet.toString()));
    }
}

void tst_K310DataPacket::topBitsOfSenderAndCommandAreLostOthersSurvive()
{
    K310DataPacket packet;
    packet.receiver = 0x05;
    packet.sender = 0x81;
    packet.command = 0x82;
    packet.subCommand = 0x83;
    packet.state = 0x84;
    packet.errorCode = 0x85;
    packet.valueBytes[0] = 0x86;
    packet.valueBytes[1] = 0x87;
    packet.valueBytes[2] = 0x88;
    packet.decimals = 0x89;

    K310DataPacket decoded;
    QCOMPARE(decode(decoded, encode(packet)), 12);
    QCOMPARE(decoded.receiver, quint8(0x85));
    QCOMPARE(decoded.sender, quint8(0x01));
    QCOMPARE(decoded.command, quint8(0x02));
    QCOMPARE(decoded.subCommand, quint8(0x83));
    QCOMPARE(decoded.state, quint8(0x84));
    QCOMPARE(decoded.errorCode, quint8(0x85));
    QCOMPARE(decoded.valueBytes[0], quint8(0x86));
    QCOMPARE(decoded.valueBytes[1], quint8(0x87));
    QCOMPARE(decoded.valueBytes[2], quint8(0x88));
    QCOMPARE(decoded.decimals, quint8(0x89));
}

void tst_K310DataPacket::frameConstructorZeroesInvalidInput()
{
    const QByteArray valid = hex("801E000002007D000001003A");
    K310DataPacket fromValid(reinterpret_cast<const quint8 *>(valid.constData()));
    QCOMPARE(fromValid.sender, quint8(30));
    QCOMPARE(fromValid.replyCount, quint8(0));

    QByteArray corrupt = valid;
    corrupt[11] = char(corrupt.at(11) ^ 1);
    K310DataPacket fromCorrupt(reinterpret_cast<const quint8 *>(corrupt.constData()));
    QCOMPARE(fromCorrupt, K310DataPacket());

    K310DataPacket fromNull(nullptr);
    QCOMPARE(fromNull, K310DataPacket());
    QCOMPARE(fromNull.linkError, quint8(0));
    QCOMPARE(fromNull.replyCount, quint8(0));
}

void tst_K310DataPacket::nullBuffersAreRefusedWithoutTouchingThePacket()
{
    K310DataPacket packet = request(30, 8, 1);
    packet.setValue(150, 2);
    packet.linkError = 2;
    packet.replyCount = 0;
    const K310DataPacket before = packet;

    QCOMPARE(packet.fromFrame(nullptr, K310FrameLength), -1);
    QCOMPARE(packet, before);
    QCOMPARE(packet.linkError, quint8(2));
    QCOMPARE(packet.toFrame(nullptr), -1);
    QCOMPARE(packet.replyCount, quint8(0)); // a refused encode does not count as sent
}

void tst_K310DataPacket::copiesCarryBytesButNotValueValid()
{
    K310DataPacket original = request(30, 8, 1);
    original.setValue(1.5, 1);
    original.linkError = 2;
    original.replyCount = 1;
    QCOMPARE(original.valueValid, 1);

    K310DataPacket copy(original);
    QCOMPARE(copy, original);
    QCOMPARE(copy.linkError, quint8(2));
    QCOMPARE(copy.replyCount, quint8(1));
    QCOMPARE(copy.valueValid, 0);

    K310DataPacket assigned;
    assigned.setValue(-100, 0);
    QCOMPARE(assigned.valueValid, 0);
    K310DataPacket valid;
    valid.setValue(1, 0);
    valid = original; // assignment keeps the target's own valueValid
    QCOMPARE(valid, original);
    QCOMPARE(valid.valueValid, 1);
}

void tst_K310DataPacket::equalityIgnoresLinkBookkeeping()
{
    K310DataPacket a = request(30, 24, 20);
    K310DataPacket b = a;
    b.linkError = 1;
    b.replyCount = 9;
    QVERIFY(a == b);
    b.decimals = 1;
    QVERIFY(a != b);
}

void tst_K310DataPacket::valueDecodesTwosComplement_data()
{
    QTest::addColumn<uint>("raw");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("expected");

    QTest::newRow("all ones is -1") << 0xFFFFFFu << 0 << -1.0;
    QTest::newRow("most negative") << 0x800000u << 0 << -8388608.0;
    QTest::newRow("most positive") << 0x7FFFFFu << 0 << 8388607.0;
    QTest::newRow("negative with decimals") << 0xFFFF38u << 2 << -2.0;
    QTest::newRow("three decimals") << 1234u << 3 << 1.234;
}

void tst_K310DataPacket::valueDecodesTwosComplement()
{
    QFETCH(uint, raw);
    QFETCH(int, decimals);
    QFETCH(double, expected);

    K310DataPacket packet;
    packet.valueBytes[0] = quint8(raw);
    packet.valueBytes[1] = quint8(raw >> 8);
    packet.valueBytes[2] = quint8(raw >> 16);
    packet.decimals = quint8(decimals);
    QCOMPARE(double(packet.value()), expected);
}

void tst_K310DataPacket::setValueScalesRoundsAndRejects_data()
{
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<uint>("stored");

    QTest::newRow("0.04 with 1 decimal rounds to 0") << 0.04 << 1 << true << 0u;
    QTest::newRow("-1 truncates to 0") << -1.0 << 0 << true << 0u;
    QTest::newRow("-2 is rejected") << -2.0 << 0 << false << 0u;
    QTest::newRow("12.34 with 2 decimals") << 12.34 << 2 << true << 1234u;
    QTest::newRow("largest value") << 16777215.0 << 0 << true << 0xFFFFFFu;
    QTest::newRow("one past the largest") << 16777216.0 << 0 << false << 0u;
    QTest::newRow("huge") << 1e300 << 0 << false << 0u;
    QTest::newRow("fits before scaling, not after") << 167773.0 << 2 << false << 0u;
    QTest::newRow("not a number") << qQNaN() << 0 << false << 0u;
    QTest::newRow("infinity") << qInf() << 0 << false << 0u;
}

void tst_K310DataPacket::setValueScalesRoundsAndRejects()
{
    QFETCH(double, number);
    QFETCH(int, decimals);
    QFETCH(bool, valid);
    QFETCH(uint, stored);

    K310DataPacket packet;
    if (!valid)
        QTest::ignoreMessage(QtDebugMsg, "INT");
    packet.setValue(number, quint8(decimals));
    QCOMPARE(bool(packet.valueValid), valid);
    QCOMPARE(packet.rawValue() & 0xFFFFFF, stored);
    QCOMPARE(packet.decimals, quint8(valid ? decimals : 0));
}

void tst_K310DataPacket::rawValueReadsBytesSixToNine()
{
    K310DataPacket packet;
    packet.valueBytes[0] = 0x78;
    packet.valueBytes[1] = 0x56;
    packet.valueBytes[2] = 0x34;
    packet.decimals = 0x12;
    QCOMPARE(packet.rawValue(), 0x12345678u);
}

void tst_K310DataPacket::errorReplySwapsAddressesAndRaisesAlarm()
{
    const QByteArray frame = hex("9E0008010000183A00020853");
    K310DataPacket packet(reinterpret_cast<const quint8 *>(frame.constData()));
    packet.replyCount = 1;
    packet.makeErrorReply(K310DataPacket::ReplyCorrupt);

    QCOMPARE(packet.receiver, quint8(0));
    QCOMPARE(packet.sender, quint8(30));
    QCOMPARE(packet.command, quint8(8));
    QCOMPARE(packet.subCommand, quint8(1));
    QCOMPARE(packet.state, quint8(0x80));
    QCOMPARE(packet.errorCode, quint8(0));
    QCOMPARE(double(packet.value()), 150.0);
    QCOMPARE(packet.linkError, quint8(1));
    QCOMPARE(packet.replyCount, quint8(1));
}

void tst_K310DataPacket::toStringShowsHexBytesWithSpaceFill()
{
    K310DataPacket packet = request(0x1E, 5);
    packet.subCommand = 0xAB;
    packet.decimals = 2;
    packet.linkError = 7; // not shown
    QCOMPARE(packet.toString(), QString("1e  0  5 ab  0  0  0  0  0  2"));
}

void tst_K310DataPacket::registersAsMetaType()
{
    const int id = qRegisterMetaType<K310DataPacket>("K310DataPacket");
    QCOMPARE(QMetaType::fromName("K310DataPacket").id(), id);
    K310DataPacket packet = request(30, 24, 19);
    const QVariant carried = QVariant::fromValue(packet);
    QCOMPARE(carried.value<K310DataPacket>(), packet);
}

QTEST_GUILESS_MAIN(tst_K310DataPacket)
#include "tst_k310datapacket.moc"
