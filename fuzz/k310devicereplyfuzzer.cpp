// Feeds arbitrary reply packets to a doser object: it must never crash, a reply from another
// address must raise nothing, a corrupt or missing reply must raise no value signal, and an
// intact one at most one value (the scale comes as a text and as decimals: one name, two forms).
#include "k310device.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QSet>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int DoserAddress = 30;
// Selector, reply number and the ten line bytes with the two link fields.
constexpr std::size_t InputLength = 1 + 4 + 12;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// Counts the device's signals: every one, and those that carry a value the doser reported.
class SignalCounter : public QObject
{
    Q_OBJECT

public:
    explicit SignalCounter(K310Device &device)
    {
        const QMetaObject &meta = K310Device::staticMetaObject;
        const QMetaMethod anySlot = metaObject()->method(metaObject()->indexOfSlot("any()"));
        const QMetaMethod valueSlot = metaObject()->method(metaObject()->indexOfSlot("value()"));
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            connect(&device, method, this, anySlot);
            const QByteArray name = method.name();
            // The value signals are the readings and write confirmations: hasGet...
            // and hasSetDoseWeightSignal.
            if (name.startsWith("hasGet") || name.startsWith("hasSet"))
                connect(&device, method, this, valueSlot);
        }
    }

    int all = 0;
    QSet<QByteArray> values;

public slots:
    void any() { ++all; }
    void value() { values.insert(senderSignalName()); }

private:
    QByteArray senderSignalName() const
    {
        return K310Device::staticMetaObject.method(senderSignalIndex()).name();
    }
};

struct Rig
{
    Rig()
        : application(argc, argv)
        , device(nullptr)
        , counter(device)
    {
        device.setDeviceID(DoserAddress);
    }

    int argc = 1;
    char name[16] = "fuzz";
    char *argv[2] = {name, nullptr};
    QCoreApplication application;
    K310Device device;
    SignalCounter counter;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Rig rig;
    if (size < InputLength)
        return 0;

    // Most inputs are from this doser, so the reply's own bytes get explored.
    const bool fromThisDoser = (data[0] & 0x0F) != 0;
    const quint32 replyNumber = data[0] & 0x10
                                    ? 0
                                    : quint32(data[1]) | quint32(data[2]) << 8
                                          | quint32(data[3]) << 16 | quint32(data[4]) << 24;
    const std::uint8_t *bytes = data + 5;
    K310DataPacket reply;
    reply.receiver = bytes[0];
    reply.sender = fromThisDoser ? DoserAddress : bytes[1];
    reply.command = bytes[2];
    reply.subCommand = bytes[3];
    reply.state = bytes[4];
    reply.errorCode = bytes[5];
    reply.valueBytes[0] = bytes[6];
    reply.valueBytes[1] = bytes[7];
    reply.valueBytes[2] = bytes[8];
    reply.decimals = bytes[9];
    reply.linkError = bytes[10] % 4;
    reply.replyCount = bytes[11];

    rig.counter.all = 0;
    rig.counter.values.clear();
    rig.device.replyPacketReceived(reply, replyNumber, 1);

    if (reply.sender != DoserAddress)
        check(rig.counter.all == 0);
    else if (replyNumber == 0 || reply.linkError != K310DataPacket::ReplyIntact)
        check(rig.counter.values.isEmpty());
    else
        check(rig.counter.values.size() <= 1);
    return 0;
}

#include "k310devicereplyfuzzer.moc"
