#include "journalmodel.h"

#include "recordtime.h"

namespace {

QString numberOrEmpty(qint64 number, qint64 none)
{
    return number == none ? QString() : QString::number(number);
}

} // namespace

void JournalModel::setEvents(const QList<JournalEvent> &shown)
{
    beginResetModel();
    shownEvents = shown;
    endResetModel();
}

QString JournalModel::text(int row, int column) const
{
    if (row < 0 || row >= shownEvents.size())
        return QString();
    const JournalEvent &event = shownEvents.at(row);
    switch (column) {
    case DateColumn:
        return RecordTime::dateText(event.moment);
    case TimeColumn:
        return RecordTime::timeText(event.moment);
    case KindColumn:
        return JournalEvent::caption(event.kind);
    case ButchColumn:
        return numberOrEmpty(event.butchId, JournalEvent::NoButch);
    case DeviceColumn:
        return numberOrEmpty(event.deviceId, JournalEvent::NoDevice);
    case CodeColumn:
        return numberOrEmpty(event.errorCode, JournalEvent::NoErrorCode);
    case TextColumn:
        return event.text;
    }
    return QString();
}

QString JournalModel::header(int column)
{
    switch (column) {
    case DateColumn:
        return QStringLiteral("Дата");
    case TimeColumn:
        return QStringLiteral("Время");
    case KindColumn:
        return QStringLiteral("Событие");
    case ButchColumn:
        return QStringLiteral("Партия");
    case DeviceColumn:
        return QStringLiteral("Дозатор");
    case CodeColumn:
        return QStringLiteral("Код");
    case TextColumn:
        return QStringLiteral("Текст");
    }
    return QString();
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shownEvents.size());
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return QVariant();
    // A text of several lines stays on its row; the export does the same.
    QString cell = text(index.row(), index.column());
    cell.replace(u'\n', u' ');
    cell.replace(u'\r', u' ');
    return cell;
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return header(section);
    return section + 1;
}

#include "moc_journalmodel.cpp"
