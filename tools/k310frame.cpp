// Encodes one doser request and prints its wire frame; decodes a frame given in hex; lists the
// serial ports.
#include "k310datapacket.h"
#include "serialport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace {

QString frameText(const quint8 *frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame), K310FrameLength).toHex(' ').toUpper();
}

int decode(const QString &hex, QTextStream &out)
{
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    K310DataPacket packet;
    if (packet.fromFrame(reinterpret_cast<const quint8 *>(bytes.constData()), quint16(bytes.size()))
        != K310FrameLength) {
        out << "invalid frame\n";
        return 1;
    }
    out << "bytes:  " << packet.toString() << "\nvalue:  " << double(packet.value())
        << "\nraw:    " << packet.rawValue() << '\n';
    return 0;
}

int listPorts(QTextStream &out)
{
    const std::vector<std::string> ports = SerialPort::availablePorts();
    if (ports.empty())
        out << "no serial ports found\n";
    for (const std::string &port : ports)
        out << QString::fromStdString(port) << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Prints the 12-byte frame of a doser request.");
    parser.addHelpOption();
    parser.addOption({"address", "Doser address (0-127).", "n", "30"});
    parser.addOption({"command", "Command code (0-127).", "n", "0"});
    parser.addOption({"sub", "Subcommand.", "n", "0"});
    parser.addOption({"value", "Value to send.", "number"});
    parser.addOption({"decimals", "Decimals of the value.", "n", "0"});
    parser.addOption({"decode", "Decode a frame given as hex instead.", "hex"});
    parser.addOption(
        {"ports", QString("List the serial ports that can be opened, then those named in %1.")
                      .arg(SerialPort::ExtraPortsVariable)});
    parser.process(app);

    QTextStream out(stdout);
    if (parser.isSet("ports"))
        return listPorts(out);
    if (parser.isSet("decode"))
        return decode(parser.value("decode"), out);

    K310DataPacket packet;
    packet.receiver = quint8(parser.value("address").toUInt());
    packet.command = quint8(parser.value("command").toUInt());
    packet.subCommand = quint8(parser.value("sub").toUInt());
    if (parser.isSet("value"))
        packet.setValue(parser.value("value").toDouble(),
                        quint8(parser.value("decimals").toUInt()));
    quint8 frame[K310FrameLength];
    packet.toFrame(frame);
    out << frameText(frame) << '\n';
    return 0;
}
