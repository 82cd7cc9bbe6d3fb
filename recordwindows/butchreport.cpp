#include "butchreport.h"

#include "cyclerecords.h"
#include "database.h"
#include "doseaccuracy.h"
#include "dosecorrections.h"
#include "doserecords.h"
#include "journalreader.h"
#include "recordtime.h"
#include "trendchart.h"

#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QLegend>
#include <QPainter>
#include <QPdfWriter>

#include <QRegularExpression>

#include <algorithm>

namespace {

// A4 in points; the PDF is written at 72 dpi, so one unit of the layout is one point.
constexpr qreal PageWidth = 595.0;
constexpr qreal PageHeight = 842.0;
constexpr qreal Margin = 42.0;
constexpr qreal FooterHeight = 24.0;
constexpr qreal ContentWidth = PageWidth - 2 * Margin;
constexpr qreal ContentBottom = PageHeight - Margin - FooterHeight;
constexpr int PdfResolution = 72;
constexpr qreal CellPadding = 4.0;
constexpr qreal ChartHeight = 230.0;
// The chart is laid out larger than drawn, so its texts come out small beside the table's.
constexpr qreal ChartScale = 1.6;

const QColor OutOfTolerance(0xB0, 0x00, 0x00);
const QColor Declined(0x70, 0x70, 0x70);
const QColor TableRule(0xB0, 0xB0, 0xB0);

const QString NoValue = QStringLiteral("—");

const QString ButchStatement =
    QStringLiteral("SELECT date, startTime, endTime, endDate, lot FROM butch WHERE idButch = %1");
const QString TasksStatement =
    QStringLiteral("SELECT deviceId, productName, taskWeight, haveDoneWeight, weightScale, "
                   "ifnull(idTask, 0) FROM task WHERE idButch = %1 ORDER BY deviceId, rowid");

// Where the cells of a line start, as parts of the content width.
const QList<qreal> FieldStops {0.0, 0.3};
const QList<qreal> DoseStops {0.0, 0.07, 0.22, 0.40, 0.58, 0.76};
const QList<qreal> EventStops {0.0, 0.13, 0.24, 0.49, 0.55};
const QList<qreal> CapabilityStops {0.0, 0.25, 0.40, 0.55};
const QList<qreal> ComponentStops {0.0, 0.22, 0.33, 0.47, 0.61, 0.75, 0.84};

int decimalsOf(const QString &weight)
{
    const qsizetype point = weight.indexOf(u'.');
    return point < 0 ? 0 : int(weight.size() - point - 1);
}

// A weight text in whole units of its last decimal place, so that sums and differences are
// exact to the last digit; false for a text that is not a plain decimal number.
bool toUnits(const QString &weight, int decimals, qint64 &units)
{
    static const QRegularExpression plain(QStringLiteral("^(-?)(\\d+)(?:\\.(\\d+))?$"));
    const QRegularExpressionMatch match = plain.match(weight.trimmed());
    if (!match.hasMatch() || match.capturedLength(3) > decimals)
        return false;
    bool ok = false;
    const qint64 value =
        (match.captured(2) + match.captured(3).leftJustified(decimals, u'0')).toLongLong(&ok);
    units = match.capturedLength(1) > 0 ? -value : value;
    return ok;
}

QString unitsText(qint64 units, int decimals, bool withSign)
{
    const qint64 magnitude = units < 0 ? -units : units;
    QString digits = QString::number(magnitude).rightJustified(decimals + 1, u'0');
    if (decimals > 0)
        digits.insert(digits.size() - decimals, u'.');
    if (units < 0)
        return u'-' + digits;
    return withSign && units > 0 ? u'+' + digits : digits;
}

DoseAccuracy::Dose accuracyOf(const DoseRecord &dose)
{
    DoseAccuracy::Dose figures;
    figures.ordered = Database::decimalValue(dose.orderedWeight);
    figures.discharged = Database::decimalValue(dose.dischargedWeight);
    figures.decimals = dose.decimals;
    figures.gramsPerUnit = ToleranceClass::gramsPerUnit(dose.unit);
    figures.toleranceKnown = !dose.tolerancePlus.isEmpty() && !dose.toleranceMinus.isEmpty();
    figures.plus = Database::decimalValue(dose.tolerancePlus);
    figures.minus = Database::decimalValue(dose.toleranceMinus);
    return figures;
}

QString orNoValue(const QString &text)
{
    return text.isEmpty() ? NoValue : text;
}

QString moment(const QString &date, const QString &time)
{
    return (date + u' ' + time).trimmed();
}

} // namespace

ButchReport::ButchReport(Database &database, qint64 butchId)
    : butchId(butchId)
{
    load(database);
    paginate(lines());
}

QString ButchReport::defaultFileName() const
{
    return QStringLiteral("Партия %1 от %2.pdf").arg(butchId).arg(startDate);
}

bool ButchReport::savePdf(const QString &fileName) const
{
    QPdfWriter writer(fileName);
    writer.setResolution(PdfResolution);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(QStringLiteral("Отчёт по партии № %1").arg(butchId));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    for (int page = 0; page < pageCount(); ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        painter.scale(writer.width() / PageWidth, writer.height() / PageHeight);
        paintPage(painter, page);
        painter.restore();
    }
    return painter.end();
}

QImage ButchReport::pageImage(int page, qreal scale) const
{
    QImage image(qRound(PageWidth * scale), qRound(PageHeight * scale), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    paintPage(painter, page);
    return image;
}

QStringList ButchReport::pageText(int page) const
{
    QStringList text;
    for (const Line &line : pages.value(page)) {
        if (line.kind != Line::Chart)
            text << line.cells.join(u'\t');
    }
    return text;
}

void ButchReport::load(Database &database)
{
    database.execQuery(ButchStatement, {butchId});
    const QueryResult &butch = database.result();
    found = butch.rows > 0;
    startDate = butch.value(0, 0);
    startTime = butch.value(0, 1);
    endTime = butch.value(0, 2);
    endDate = butch.value(0, 3);
    lot = butch.value(0, 4);

    database.execQuery(TasksStatement, {butchId});
    const QueryResult &taskRows = database.result();
    for (int row = 0; row < taskRows.rows; ++row) {
        tasks.append({taskRows.value(row, 0).toInt(), taskRows.value(row, 1),
                      taskRows.value(row, 2), taskRows.value(row, 3), taskRows.value(row, 4),
                      taskRows.value(row, 5).toLongLong()});
    }
    ofFormula = FormulaParts(database).load(quint64(butchId), &formula);
    doses = DoseRecords(database).ofButch(butchId);
    for (const Task &task : std::as_const(tasks))
        cycles.insert(task.deviceId, CycleRecords(database).ofTask(butchId, task.deviceId));
    events = JournalReader(database).eventsOfButch(butchId);
    journalSeal = KnownSeal::newest(database);
}

QList<ButchReport::Line> ButchReport::lines() const
{
    QList<Line> out;
    out.append({Line::Title, {QStringLiteral("Отчёт по партии № %1").arg(butchId)}});
    if (!found) {
        out.append({Line::Note, {QStringLiteral("Партия не найдена в базе данных")}});
        return out;
    }
    if (!lot.isEmpty())
        out << field(QStringLiteral("Номер партии:"), lot);
    out << field(QStringLiteral("Начало:"), moment(startDate, startTime));
    out << field(QStringLiteral("Окончание:"), endTime.isEmpty()
                                                   ? QStringLiteral("партия не завершена")
                                                   : moment(endDate, endTime));
    if (ofFormula)
        addFormula(out);
    for (const Task &task : tasks)
        addTask(out, task);
    addEvents(out);
    addJournalSeal(out);
    return out;
}

void ButchReport::addFormula(QList<Line> &out) const
{
    out << field(QStringLiteral("Рецептура:"), formula.formulaName);
    out << field(QStringLiteral("Размер партии:"), formula.size);
    out.append({Line::TableHeader,
                {QStringLiteral("Компонент"), QStringLiteral("Дозатор"), QStringLiteral("Задание"),
                 QStringLiteral("Выдано"), QStringLiteral("Отклонение"), QStringLiteral("Доз"),
                 QStringLiteral("В допуске")},
                ComponentStops});
    for (const FormulaPart &part : formula.parts) {
        const auto task = std::find_if(tasks.cbegin(), tasks.cend(), [&](const Task &candidate) {
            return part.taskId != 0 && candidate.id == part.taskId;
        });
        const QString delivered = task == tasks.cend() ? QString() : task->delivered;
        int counted = 0;
        for (const DoseRecord &dose : doses)
            counted += task != tasks.cend() && task->owns(dose) && dose.counted ? 1 : 0;
        const int decimals = qMax(decimalsOf(part.taskWeight), decimalsOf(delivered));
        qint64 target = 0;
        qint64 given = 0;
        qint64 plus = 0;
        qint64 minus = 0;
        const bool weighed = !delivered.isEmpty() && toUnits(part.taskWeight, decimals, target)
                             && toUnits(delivered, decimals, given)
                             && toUnits(part.doseFaultPlus, decimals, plus)
                             && toUnits(part.doseFaultMinus, decimals, minus);
        const qint64 deviation = given - target;
        const bool within = weighed && deviation <= plus && -deviation <= minus;
        Line row {Line::TableRow,
                  {part.productName, QString::number(part.deviceId), part.taskWeight,
                   orNoValue(delivered), weighed ? unitsText(deviation, decimals, true) : NoValue,
                   QString::number(counted),
                   weighed ? (within ? QStringLiteral("да") : QStringLiteral("нет")) : NoValue},
                  ComponentStops};
        if (weighed && !within)
            row.colour = OutOfTolerance;
        out.append(row);
    }
}

void ButchReport::addTask(QList<Line> &out, const Task &task) const
{
    out.append(
        {Line::Section, {QStringLiteral("Дозатор %1: %2").arg(task.deviceId).arg(task.product)}});
    const QString unit = u' ' + task.unit;
    out << field(QStringLiteral("Продукт:"), task.product);
    out << field(QStringLiteral("Задание:"), task.target + unit);
    out << field(QStringLiteral("Выдано:"),
                 task.delivered.isEmpty() ? NoValue : task.delivered + unit);

    const int taskDecimals = qMax(decimalsOf(task.target), decimalsOf(task.delivered));
    qint64 target = 0;
    qint64 delivered = 0;
    if (toUnits(task.target, taskDecimals, target)
        && toUnits(task.delivered, taskDecimals, delivered))
        out << field(QStringLiteral("Отклонение от задания:"),
                     unitsText(delivered - target, taskDecimals, true) + unit);

    QStringList tolerances;
    for (const DoseRecord &dose : doses) {
        const QString tolerance =
            QStringLiteral("+%1 / -%2").arg(dose.tolerancePlus, dose.toleranceMinus);
        if (task.owns(dose) && !dose.tolerancePlus.isEmpty() && !tolerances.contains(tolerance))
            tolerances << tolerance;
    }
    out << field(QStringLiteral("Допуск дозы:"),
                 tolerances.isEmpty() ? NoValue : tolerances.join(QStringLiteral(", ")) + unit);
    // The learned share and amount in flight as the task's last corrected fill was sent.
    for (auto dose = doses.crbegin(); dose != doses.crend(); ++dose) {
        if (task.owns(*dose) && !dose->isResidue()
            && (dose->correction != 0 || dose->inFlight != 0)) {
            out << field(QStringLiteral("Поправка дозы:"),
                         DoseCorrections::termsText(dose->correction, dose->inFlight) + unit);
            break;
        }
    }

    out.append({Line::TableHeader,
                {QStringLiteral("№"), QStringLiteral("Время"), QStringLiteral("Заказано"),
                 QStringLiteral("Выгружено"), QStringLiteral("Отклонение"), QStringLiteral("Учёт")},
                DoseStops});
    int number = 0;
    int countedDoses = 0;
    int sumDecimals = 0;
    qint64 countedUnits = 0;
    bool exact = true;
    for (const DoseRecord &dose : doses) {
        if (!task.owns(dose))
            continue;
        Line row {Line::TableRow,
                  {QString::number(++number), RecordTime::timeText(dose.moment),
                   dose.isResidue() ? QStringLiteral("остаток") : dose.orderedWeight,
                   dose.dischargedWeight, NoValue,
                   dose.counted ? QStringLiteral("учтена") : QStringLiteral("не учтена")},
                  DoseStops};
        qint64 ordered = 0;
        qint64 discharged = 0;
        const bool weighed = toUnits(dose.dischargedWeight, dose.decimals, discharged);
        if (!dose.isResidue() && weighed && toUnits(dose.orderedWeight, dose.decimals, ordered)) {
            const qint64 deviation = discharged - ordered;
            row.cells[4] = unitsText(deviation, dose.decimals, true);
            qint64 plus = 0;
            qint64 minus = 0;
            if (toUnits(dose.tolerancePlus, dose.decimals, plus)
                && toUnits(dose.toleranceMinus, dose.decimals, minus)
                && (deviation > plus || deviation < -minus))
                row.colour = OutOfTolerance;
        }
        if (!dose.counted) {
            row.colour = Declined;
        } else {
            ++countedDoses;
            // Sums in the finest unit any dose used, so a change of format stays exact.
            if (dose.decimals > sumDecimals) {
                for (int i = sumDecimals; i < dose.decimals; ++i)
                    countedUnits *= 10;
                sumDecimals = dose.decimals;
            }
            qint64 units = 0;
            exact = toUnits(dose.dischargedWeight, sumDecimals, units) && exact;
            countedUnits += units;
        }
        out << row;
    }
    if (number == 0) {
        out.append({Line::Note, {QStringLiteral("Доз не записано")}});
        return;
    }
    Line sum {Line::Note,
              {QStringLiteral("Учтено по дозам: %1%2 (доз: %3)")
                   .arg(unitsText(countedUnits, sumDecimals, false), unit)
                   .arg(countedDoses)}};
    qint64 deliveredAtSum = 0;
    if (!exact
        || !toUnits(task.delivered.isEmpty() ? QStringLiteral("0") : task.delivered, sumDecimals,
                    deliveredAtSum)
        || deliveredAtSum != countedUnits) {
        sum.cells[0] += QStringLiteral(" — не совпадает с выданным весом");
        sum.colour = OutOfTolerance;
    }
    out << sum;
    addCapability(out, task);
    if (!cycles.value(task.deviceId).isEmpty())
        out.append({Line::Chart, {QString::number(task.deviceId)}});
}

void ButchReport::addCapability(QList<Line> &out, const Task &task) const
{
    DoseAccuracy figures;
    for (const DoseRecord &dose : doses) {
        if (task.owns(dose) && dose.counted && !dose.isResidue())
            figures.add(accuracyOf(dose));
    }
    if (figures.count() == 0)
        return;
    const QString within = figures.withinToleranceText();
    out.append({Line::TableHeader,
                {QStringLiteral("В допуске"), QStringLiteral("Cp"), QStringLiteral("Cpk"),
                 QStringLiteral("Класс")},
                CapabilityStops});
    out.append({Line::TableRow,
                {within.isEmpty()
                     ? NoValue
                     : QStringLiteral("%1 % (доз: %2)").arg(within).arg(figures.toleranceCount()),
                 orNoValue(figures.cpText()), orNoValue(figures.cpkText()),
                 orNoValue(figures.classText())},
                CapabilityStops});
}

void ButchReport::addEvents(QList<Line> &out) const
{
    out.append({Line::Section, {QStringLiteral("События партии")}});
    if (events.isEmpty()) {
        out.append({Line::Note, {QStringLiteral("Событий не записано")}});
        return;
    }
    out.append({Line::TableHeader,
                {QStringLiteral("Дата"), QStringLiteral("Время"), QStringLiteral("Событие"),
                 QStringLiteral("Код"), QStringLiteral("Текст")},
                EventStops});
    for (const JournalEvent &event : events) {
        QString text = event.text;
        text.replace(u'\n', u' ').replace(u'\r', u' ');
        out.append(
            {Line::TableRow,
             {RecordTime::dateText(event.moment), RecordTime::timeText(event.moment),
              JournalEvent::caption(event.kind),
              event.errorCode == JournalEvent::NoErrorCode ? QString()
                                                           : QString::number(event.errorCode),
              text},
             EventStops});
    }
}

// A copy of the journal's newest seal on paper: a journal later cut or rewritten no longer
// holds it (see KnownSeal).
void ButchReport::addJournalSeal(QList<Line> &out) const
{
    out.append({Line::Section, {QStringLiteral("Печать журнала")}});
    if (!journalSeal.isSet()) {
        out.append({Line::Note, {QStringLiteral("Журнал не опечатан")}});
        return;
    }
    out << field(QStringLiteral("Последняя запись:"),
                 QStringLiteral("№ %1 (%2)").arg(journalSeal.id).arg(journalSeal.moment));
    out.append({Line::Note, {journalSeal.seal}});
}

void ButchReport::paintChart(QPainter &painter, const QRectF &box, int deviceId) const
{
    QString unit;
    for (const Task &task : tasks) {
        if (task.deviceId == deviceId)
            unit = task.unit;
    }
    QGraphicsScene scene;
    auto *chart = new TrendChart;
    scene.addItem(chart);
    chart->setUnit(unit);
    chart->showCycles(cycles.value(deviceId));
    const QRectF laidOut(QPointF(0, 0), box.size() * ChartScale);
    chart->setGeometry(laidOut);
    painter.save();
    scene.render(&painter, box, laidOut);
    painter.restore();
}

ButchReport::Line ButchReport::field(const QString &caption, const QString &value)
{
    return {Line::Field, {caption, value}, FieldStops};
}

void ButchReport::paginate(const QList<Line> &all)
{
    pages.clear();
    pages.emplaceBack();
    qreal y = Margin;
    for (const Line &line : all) {
        if (y + heightOf(line.kind) > ContentBottom && !pages.last().isEmpty()) {
            pages.emplaceBack();
            y = Margin;
        }
        pages.last() << line;
        y += heightOf(line.kind);
    }
}

QFont ButchReport::fontOf(Line::Kind kind)
{
    QFont font;
    switch (kind) {
    case Line::Title:
        font.setPixelSize(16);
        font.setBold(true);
        break;
    case Line::Section:
        font.setPixelSize(12);
        font.setBold(true);
        break;
    case Line::Field:
        font.setPixelSize(10);
        break;
    case Line::TableHeader:
        font.setPixelSize(9);
        font.setBold(true);
        break;
    case Line::TableRow:
    case Line::Note:
    case Line::Chart:
        font.setPixelSize(9);
        break;
    }
    return font;
}

qreal ButchReport::heightOf(Line::Kind kind)
{
    switch (kind) {
    case Line::Title:
        return 30.0;
    case Line::Section:
        return 26.0;
    case Line::Field:
        return 15.0;
    case Line::TableHeader:
        return 17.0;
    case Line::TableRow:
    case Line::Note:
        return 13.0;
    case Line::Chart:
        return ChartHeight;
    }
    return 13.0;
}

void ButchReport::paintPage(QPainter &painter, int page) const
{
    if (page < 0 || page >= pageCount())
        return;
    qreal y = Margin;
    for (const Line &line : pages.at(page)) {
        const qreal height = heightOf(line.kind);
        if (line.kind == Line::Chart) {
            paintChart(painter, QRectF(Margin, y + CellPadding, ContentWidth, height - CellPadding),
                       line.cells.value(0).toInt());
            y += height;
            continue;
        }
        painter.setFont(fontOf(line.kind));
        painter.setPen(line.colour);
        const QList<qreal> &stops = line.stops;
        const bool table = line.kind == Line::TableHeader || line.kind == Line::TableRow;
        const bool spans = stops.isEmpty();
        for (int cell = 0; cell < line.cells.size(); ++cell) {
            const qreal left = spans ? 0.0 : stops.value(cell) * ContentWidth;
            const qreal right = spans || cell + 1 >= stops.size()
                                    ? ContentWidth
                                    : stops.at(cell + 1) * ContentWidth;
            const QRectF box(Margin + left, y, right - left - CellPadding, height);
            const QString text = QFontMetricsF(painter.font())
                                     .elidedText(line.cells.at(cell), Qt::ElideRight, box.width());
            painter.drawText(box, Qt::AlignLeft | Qt::AlignBottom, text);
        }
        if (table) {
            painter.setPen(line.kind == Line::TableHeader ? QColor(Qt::black) : TableRule);
            painter.drawLine(QPointF(Margin, y + height + 1.5),
                             QPointF(Margin + ContentWidth, y + height + 1.5));
        }
        y += height;
    }

    painter.setFont(fontOf(Line::Note));
    painter.setPen(Declined);
    const QRectF footer(Margin, PageHeight - Margin - FooterHeight / 2, ContentWidth,
                        FooterHeight / 2);
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignBottom,
                     QStringLiteral("Партия № %1").arg(butchId));
    painter.drawText(footer, Qt::AlignRight | Qt::AlignBottom,
                     QStringLiteral("Страница %1 из %2").arg(page + 1).arg(pageCount()));
}
