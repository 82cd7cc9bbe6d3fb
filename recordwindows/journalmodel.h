#ifndef JOURNALMODEL_H
#define JOURNALMODEL_H

#include "journalevent.h"

#include <QAbstractTableModel>
#include <QList>

// The journal's events as the window's table shows them and its export writes them: a model
// rather than table items, since a range of years holds hundreds of thousands of events.
class JournalModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        DateColumn,
        TimeColumn,
        KindColumn,
        ButchColumn,
        DeviceColumn,
        CodeColumn,
        TextColumn,
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setEvents(const QList<JournalEvent> &shown);
    const QList<JournalEvent> &events() const { return shownEvents; }
    // The text of a cell; empty where an event has no batch, doser or code.
    QString text(int row, int column) const;
    static QString header(int column);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<JournalEvent> shownEvents;
};

#endif // JOURNALMODEL_H
