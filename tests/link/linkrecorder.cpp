#include "linkrecorder.h"

#include <QRegularExpression>

namespace {

const QRegularExpression
    StampedMessage(QStringLiteral(R"(^\d\d\.\d\d\.\d{4} \(\d\d:\d\d:\d\d:\d{3}\) (.*)\n$)"),
                   QRegularExpression::DotMatchesEverythingOption);

} // namespace

LinkRecorder::LinkRecorder(K310Link &link)
{
    connect(&link, &K310Link::replyPacketReceived, this,
            [this](const K310DataPacket &packet, quint32 number, quint32 expected) {
                replies.append({packet, number, expected});
            });
    connect(&link, &SerialSchedule::hasSysMes, this,
            [this](const QString &message) { messages << message; });
    connect(&link, &SerialSchedule::linkMaster, this,
            [this](bool master) { masterFlags << master; });
}

QStringList LinkRecorder::texts() const
{
    QStringList result;
    for (const QString &message : messages) {
        const QRegularExpressionMatch match = StampedMessage.match(message);
        result << (match.hasMatch() ? match.captured(1) : QStringLiteral("malformed: ") + message);
    }
    return result;
}

void LinkRecorder::clear()
{
    replies.clear();
    messages.clear();
    masterFlags.clear();
}
