#ifndef BUTCHREPORT_H
#define BUTCHREPORT_H

#include "cycletrace.h"
#include "doserecord.h"
#include "formulaparts.h"
#include "journalevent.h"
#include "knownseal.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QStringList>

class Database;
class QPainter;

// The printable record of one batch: its lot where it has one, per task its product, target,
// delivered weight, tolerance, start and end, every dose with its deviation, the doses' share
// within tolerance, Cp, Cpk and class, the chart of its cycles, then the batch's events and the
// journal's newest seal. Laid out on A4 pages; a typical batch fits on one. Saved as PDF, or drawn
// into an image.
class ButchReport
{
public:
    ButchReport(Database &database, qint64 butchId);

    // False when data.db holds no such batch.
    bool exists() const { return found; }
    // "Партия 12 от 01.03.2024.pdf": the batch and its start date.
    QString defaultFileName() const;
    int pageCount() const { return int(pages.size()); }

    // False when the file could not be written.
    bool savePdf(const QString &fileName) const;
    // A page drawn at scale times 72 dots per inch (1 = one pixel per point).
    QImage pageImage(int page, qreal scale) const;
    // The texts of a page, a line of the layout per entry with its cells apart by tabs.
    QStringList pageText(int page) const;

private:
    struct Task
    {
        int deviceId = 0;
        QString product;
        QString target;
        QString delivered;
        QString unit;
        qint64 id = 0;

        // Rows from before task ids fall back on the doser: one task per doser then.
        bool owns(const DoseRecord &dose) const
        {
            return id != 0 && dose.taskId != 0 ? dose.taskId == id : dose.deviceId == deviceId;
        }
    };

    // One line of a page: a heading, a caption with its value, or a row of a table.
    struct Line
    {
        // A chart's one cell is the doser whose cycles it draws.
        enum Kind { Title, Section, Field, TableHeader, TableRow, Note, Chart };

        Line(Kind kind, const QStringList &cells, const QList<qreal> &stops = {})
            : kind(kind)
            , cells(cells)
            , stops(stops)
        { }

        Kind kind;
        QStringList cells;
        // Where the cells start, as parts of the content width; lines of one cell span it.
        QList<qreal> stops;
        QColor colour = Qt::black;
    };

    void load(Database &database);
    QList<Line> lines() const;
    void addTask(QList<Line> &out, const Task &task) const;
    // A formula batch's formula, size and its components side by side.
    void addFormula(QList<Line> &out) const;
    // The doses' share within tolerance, Cp, Cpk and class.
    void addCapability(QList<Line> &out, const Task &task) const;
    void addEvents(QList<Line> &out) const;
    void addJournalSeal(QList<Line> &out) const;
    void paginate(const QList<Line> &all);
    void paintPage(QPainter &painter, int page) const;
    void paintChart(QPainter &painter, const QRectF &box, int deviceId) const;
    static Line field(const QString &caption, const QString &value);
    static QFont fontOf(Line::Kind kind);
    static qreal heightOf(Line::Kind kind);

    qint64 butchId;
    bool found = false;
    QString startDate;
    QString startTime;
    QString endDate;
    QString endTime;
    QString lot;
    QList<Task> tasks;
    // The batch's formula; none for a batch of the dosers' own targets.
    bool ofFormula = false;
    FormulaButch formula;
    QList<DoseRecord> doses;
    // Each doser's cycles, as the hopper's weight went.
    QHash<int, QList<CycleTrace>> cycles;
    QList<JournalEvent> events;
    // The journal's newest row when the report was made.
    KnownSeal journalSeal;
    QList<QList<Line>> pages;
};

#endif // BUTCHREPORT_H
