#include "plantmessages.h"

#include "journalevent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// A weight with the doser's decimals, as a number. A batch's weights are sums of doses and
// carry the sum's binary tail (31.499999999999996); the plant gets the figure the panel shows.
double number(const Weight &weight)
{
    const double scale = std::pow(10.0, weight.decimals);
    return std::round(weight.value * scale) / scale;
}

// Texts the plant keys on: null rather than "" when there is none.
QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

} // namespace

QString PlantMessages::topic(const QString &prefix, int deviceId, const QString &kind)
{
    return QStringLiteral("%1/%2/%3").arg(prefix).arg(deviceId).arg(kind);
}

QString PlantMessages::statusTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/console/status");
}

QString PlantMessages::ordersTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/console/orders");
}

QString PlantMessages::orderResultTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/console/orders/result");
}

QString PlantMessages::scheduleTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/console/schedule");
}

QByteArray PlantMessages::orderResult(const QString &orderId, bool accepted, const QString &reason)
{
    const QJsonObject message {
        {QStringLiteral("orderId"), textOrNull(orderId)},
        {QStringLiteral("accepted"), accepted},
        {QStringLiteral("reason"), reason},
    };
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QByteArray PlantMessages::schedule(const QList<ScheduleEntry> &entries, bool running)
{
    QJsonArray list;
    for (const ScheduleEntry &entry : entries) {
        QJsonObject item {
            {QStringLiteral("id"), entry.id},
            {QStringLiteral("orderId"), textOrNull(entry.orderId)},
            {QStringLiteral("size"), entry.size.toDouble()},
            {QStringLiteral("count"), entry.count},
            {QStringLiteral("done"), entry.done},
            {QStringLiteral("state"), scheduleStateName(entry.state)},
            {QStringLiteral("reason"), entry.reason},
        };
        // What it makes: a formula, or one product on one doser.
        if (!entry.formulaName.isEmpty()) {
            item.insert(QStringLiteral("formula"), entry.formulaName);
        } else {
            item.insert(QStringLiteral("product"), entry.productName);
            item.insert(QStringLiteral("doser"), entry.deviceId);
        }
        if (!entry.lot.isEmpty())
            item.insert(QStringLiteral("lot"), entry.lot);
        list.append(item);
    }
    const QJsonObject message {
        {QStringLiteral("running"), running},
        {QStringLiteral("entries"), list},
    };
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QString PlantMessages::scheduleStateName(ScheduleEntry::State state)
{
    switch (state) {
    case ScheduleEntry::State::Running:
        return QStringLiteral("running");
    case ScheduleEntry::State::Done:
        return QStringLiteral("done");
    case ScheduleEntry::State::Stopped:
        return QStringLiteral("stopped");
    case ScheduleEntry::State::Refused:
        return QStringLiteral("refused");
    case ScheduleEntry::State::Waiting:
        break;
    }
    return QStringLiteral("waiting");
}

QByteArray PlantMessages::state(const DoserImage &doser)
{
    const BatchProgress &progress = doser.batch;
    QJsonObject batch {
        {QStringLiteral("state"), batchStateName(progress.state)},
        {QStringLiteral("batchId"), qint64(progress.butchId)},
        {QStringLiteral("product"), progress.product},
        {QStringLiteral("target"), number(progress.target)},
        {QStringLiteral("delivered"), number(progress.delivered)},
        {QStringLiteral("doseNumber"), progress.doseNumber},
        {QStringLiteral("plannedDoses"), progress.plannedDoses},
        {QStringLiteral("phase"), phaseName(progress.phase)},
    };
    if (progress.started.isValid())
        batch.insert(QStringLiteral("started"), progress.started.toString(Qt::ISODate));
    const QJsonObject message {
        {QStringLiteral("deviceId"), doser.deviceId},
        {QStringLiteral("state"), stateName(doser.state)},
        {QStringLiteral("stateCode"), int(doser.state)},
        {QStringLiteral("stateText"), doserStateText(doser.state)},
        {QStringLiteral("alarmCode"), doser.alarmCode},
        {QStringLiteral("netWeight"), number(doser.netWeight)},
        {QStringLiteral("unit"), doser.unit},
        {QStringLiteral("decimals"), doser.decimals},
        {QStringLiteral("doseCount"), number(doser.doseCount)},
        {QStringLiteral("shiftWeight"), number(doser.shiftWeight)},
        {QStringLiteral("totalDoseCount"), qint64(doser.totalDoseCount)},
        {QStringLiteral("totalWeight"), number(doser.totalWeight)},
        {QStringLiteral("batch"), batch},
    };
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QString PlantMessages::stateName(DoserState state)
{
    switch (state) {
    case DoserState::Working:
        return QStringLiteral("working");
    case DoserState::Stopped:
        return QStringLiteral("stopped");
    case DoserState::Alarm:
        return QStringLiteral("alarm");
    case DoserState::NoConnection:
        break;
    }
    return QStringLiteral("noConnection");
}

QString PlantMessages::batchStateName(BatchState state)
{
    switch (state) {
    case BatchState::Running:
        return QStringLiteral("running");
    case BatchState::Stopped:
        return QStringLiteral("stopped");
    case BatchState::Finished:
        return QStringLiteral("finished");
    case BatchState::Idle:
        break;
    }
    return QStringLiteral("idle");
}

QString PlantMessages::phaseName(DosePhase phase)
{
    switch (phase) {
    case DosePhase::Starting:
        return QStringLiteral("starting");
    case DosePhase::Residue:
        return QStringLiteral("residue");
    case DosePhase::FillDue:
        return QStringLiteral("fillDue");
    case DosePhase::Filling:
        return QStringLiteral("filling");
    case DosePhase::DischargeDue:
        return QStringLiteral("dischargeDue");
    case DosePhase::Discharging:
        return QStringLiteral("discharging");
    case DosePhase::None:
        break;
    }
    return QStringLiteral("none");
}

QString PlantMessages::batchEventName(int journalKind)
{
    switch (journalKind) {
    case JournalEvent::ButchStarted:
        return QStringLiteral("started");
    case JournalEvent::ButchStopped:
        return QStringLiteral("stopped");
    case JournalEvent::ButchContinued:
        return QStringLiteral("continued");
    case JournalEvent::ButchRestored:
        return QStringLiteral("restored");
    case JournalEvent::ButchFinished:
        return QStringLiteral("finished");
    case JournalEvent::ButchClosed:
        return QStringLiteral("closed");
    case JournalEvent::ButchDeleted:
        return QStringLiteral("deleted");
    default:
        return QString();
    }
}
