#include "framereader.h"

#include <QTest>

namespace {

QByteArray frameFor(quint8 address, quint8 command)
{
    K310DataPacket packet;
    packet.receiver = address;
    packet.command = command;
    QByteArray frame(K310FrameLength, '\0');
    packet.toFrame(reinterpret_cast<quint8 *>(frame.data()));
    return frame;
}

QByteArray corrupted(QByteArray frame)
{
    frame[5] = char(frame.at(5) ^ 0x04);
    return frame;
}

} // namespace

class tst_FrameReader : public QObject
{
    Q_OBJECT

private slots:
    void framesAreFoundInTheByteStream_data();
    void framesAreFoundInTheByteStream();
    void bytesArrivingOneByOneMakeAFrame();
    void frameCarriesItsWireBytes();
};

void tst_FrameReader::framesAreFoundInTheByteStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<int>>("commands");
    QTest::addColumn<int>("discarded");
    QTest::addColumn<int>("rejected");

    const QByteArray a = frameFor(30, 0);
    const QByteArray b = frameFor(30, 24);
    QTest::newRow("one frame") << a << QList<int> {0} << 0 << 0;
    QTest::newRow("two frames back to back") << a + b << QList<int> {0, 24} << 0 << 0;
    QTest::newRow("noise without a start bit first")
        << QByteArray("\x01\x02\x7f", 3) + a << QList<int> {0} << 3 << 0;
    QTest::newRow("noise with a start bit first")
        << QByteArray("\x91\x05", 2) + a << QList<int> {0} << 2 << 0;
    QTest::newRow("frame cut short, then a whole one")
        << a.left(7) + b << QList<int> {24} << 7 << 0;
    QTest::newRow("bad check code, then a good frame")
        << corrupted(a) + b << QList<int> {24} << 12 << 1;
    QTest::newRow("half a frame at the end waits") << a + b.left(6) << QList<int> {0} << 0 << 0;
}

void tst_FrameReader::framesAreFoundInTheByteStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(QList<int>, commands);
    QFETCH(int, discarded);
    QFETCH(int, rejected);
    FrameReader reader;

    reader.feed(stream.constData(), stream.size());

    QList<int> found;
    while (reader.hasFrame())
        found.append(reader.takeFrame().packet.command);
    QCOMPARE(found, commands);
    QCOMPARE(reader.discardedBytes(), qint64(discarded));
    QCOMPARE(reader.rejectedFrames(), rejected);
}

void tst_FrameReader::bytesArrivingOneByOneMakeAFrame()
{
    FrameReader reader;
    const QByteArray frame = frameFor(30, 20);
    for (qsizetype i = 0; i < frame.size(); ++i) {
        QVERIFY(!reader.hasFrame());
        reader.feed(frame.constData() + i, 1);
    }
    QVERIFY(reader.hasFrame());
    QCOMPARE(reader.takeFrame().packet.command, quint8(20));
    QVERIFY(!reader.hasFrame());
}

void tst_FrameReader::frameCarriesItsWireBytes()
{
    FrameReader reader;
    const QByteArray frame = frameFor(31, 44);
    reader.feed(frame.constData(), frame.size());
    const FrameReader::Frame found = reader.takeFrame();
    QCOMPARE(found.bytes, frame);
    QCOMPARE(found.packet.receiver, quint8(0x80 | 31));
}

QTEST_GUILESS_MAIN(tst_FrameReader)
#include "tst_framereader.moc"
