#include "stat.h"

#include "csvtext.h"
#include "doseaccuracy.h"
#include "dosecorrections.h"
#include "operatormessages.h"

#include <QDebug>
#include <QHash>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>

#include <array>

namespace {

enum TableColumn {
    ProductColumn,
    WeightColumn,
    UnitColumn,
    DoseCountColumn,
    MeanColumn,
    DeviationColumn,
    LargestColumn,
    WithinToleranceColumn,
    CpColumn,
    CpkColumn,
    ClassColumn,
    // Last, so a file read by its columns' places keeps them.
    LotColumn,
    TableColumns
};
constexpr int WeightDecimals = 2;
constexpr double GramsPerKilogram = 1000.0;
constexpr double KilogramsPerTonne = 1000.0;

const QString Grams = QStringLiteral("г");
const QString Kilograms = QStringLiteral("кг");
const QString Tonnes = QStringLiteral("т");

const QString DaysStatement =
    QStringLiteral("SELECT date FROM butch GROUP BY date ORDER BY MAX(idButch)");
const QString FirstButchStatement =
    QStringLiteral("SELECT MIN(idButch) FROM butch WHERE date = \"%1\" GROUP BY date");
const QString LastButchStatement =
    QStringLiteral("SELECT MAX(idButch) FROM butch WHERE date = \"%1\" GROUP BY date");
// What is learned now of each product's fills, per doser, for the products' rows.
const QString CorrectionsStatement =
    QStringLiteral("SELECT productName, deviceId, correction, ifnull(inFlight, 0) FROM "
                   "doseCorrection ORDER BY productName, deviceId");
// The lots of the range's batches, each product's in the order of its batches. Only batches with
// a lot are looked at, through their index.
const QString LotsStatement =
    QStringLiteral(R"(SELECT t.productName, b.lot FROM butch b JOIN task t ON t.idButch = )"
                   R"(b.idButch WHERE b.lot != "" AND b.idButch >= %1 AND b.idButch <= %2 )"
                   "ORDER BY b.idButch, t.rowid");
const QString SumWeightStatement =
    QStringLiteral("SELECT haveDoneWeight FROM task WHERE (idButch >= %1 AND idButch <= %2) "
                   "AND (productName = \"%3\") AND (weightScale = \"%4\")");

// The units the table counts; any other unit adds nothing.
const QString *const CountedUnits[] = {&Grams, &Kilograms, &Tonnes};
using UnitKilograms = std::array<double, std::size(CountedUnits)>;

int countedUnitIndex(const QString &unit)
{
    for (std::size_t i = 0; i < std::size(CountedUnits); ++i) {
        if (unit == *CountedUnits[i])
            return int(i);
    }
    return -1;
}

double toKilograms(double sum, const QString &unit)
{
    if (unit == Grams)
        return sum / GramsPerKilogram;
    if (unit == Tonnes)
        return sum * KilogramsPerTonne;
    return sum;
}

QStringList tableHeader()
{
    return {QStringLiteral("Продукт"),
            QStringLiteral("Вес, кг"),
            QStringLiteral("Ед."),
            QStringLiteral("Доз"),
            QStringLiteral("Ср. отклонение"),
            QStringLiteral("СКО"),
            QStringLiteral("Макс. отклонение"),
            QStringLiteral("В допуске, %"),
            QStringLiteral("Cp"),
            QStringLiteral("Cpk"),
            QStringLiteral("Класс"),
            QStringLiteral("Номера партий")};
}

// The columns beside the product, unit and dose count: the weight and how well the doses met
// their tolerance, or how far they went from their order and the lots, less often looked at.
// Both sets do not fit the console's width at once.
bool isOnDeviationsPage(int column)
{
    return column == MeanColumn || column == DeviationColumn || column == LargestColumn
           || column == LotColumn;
}

bool isShownWithDeviations(int column, bool deviations)
{
    return column == ProductColumn || column == UnitColumn || column == DoseCountColumn
           || isOnDeviationsPage(column) == deviations;
}

// Columns whose numbers a spreadsheet of the panel reads with a decimal comma.
bool isDecimalColumn(int column)
{
    return column == WeightColumn || column == MeanColumn || column == DeviationColumn
           || column == LargestColumn || column == WithinToleranceColumn || column == CpColumn
           || column == CpkColumn;
}

} // namespace

Stat::Stat(const QString &databaseFile, QWidget *parent)
    : RecordsWindow(parent)
    , database(databaseFile)
    , summaries(database)
{
    setupUi(this);
    finishForm(closeButton);

    warningBox = OperatorMessages::makeWarningBox(this);

    connect(saveButton, &QPushButton::clicked, this, &Stat::saveProduct);
    connect(fromComboBox, &QComboBox::currentIndexChanged, this, &Stat::addDateTo);
    connect(toComboBox, &QComboBox::currentIndexChanged, this, &Stat::getStat);
    connect(deviationsButton, &QPushButton::toggled, this, &Stat::fitColumns);

    statTable->setColumnCount(TableColumns);
    statTable->setRowCount(0);
    statTable->setHorizontalHeaderLabels(tableHeader());
    fitColumns();
}

Stat::~Stat()
{
    qDebug("~Stat()");
}

void Stat::fillDates()
{
    const QSignalBlocker blocker(fromComboBox);
    fromComboBox->clear();
    database.execQuery(DaysStatement);
    if (database.result().rows > 0) {
        fromComboBox->addItems(database.result().values);
        fromComboBox->setCurrentIndex(-1);
    }
}

void Stat::addDateTo(int index)
{
    toComboBox->clear();
    if (index < 0)
        return;
    QStringList days;
    for (int i = index; i < fromComboBox->count(); ++i)
        days << fromComboBox->itemText(i);
    toComboBox->addItems(days);
}

void Stat::getStat()
{
    const int firstButch = butchOfDay(FirstButchStatement, fromComboBox->currentText());
    const int lastButch = butchOfDay(LastButchStatement, toComboBox->currentText());
    // Sorted by product, then unit; a product's counted units are kept apart and added in one
    // fixed order, grams first. Units only doses were weighed in list no product.
    QStringList products;
    QList<UnitKilograms> parts;
    QList<UnitAccuracy> accuracy;
    for (const DaySummaries::Total &total : summaries.ofRange(firstButch, lastButch)) {
        if (total.accuracy.count() > 0)
            accuracy.append({total.product, total.unit, total.accuracy});
        if (total.tasks == 0)
            continue;
        if (products.isEmpty() || products.last() != total.product) {
            products << total.product;
            parts.emplaceBack();
        }
        const int unitIndex = countedUnitIndex(total.unit);
        if (unitIndex >= 0)
            parts.last()[unitIndex] = toKilograms(total.delivered, total.unit);
    }

    QList<double> kilograms;
    for (const UnitKilograms &part : parts)
        kilograms << part[0] + part[1] + part[2];
    // An empty range shows an empty table: keeping the old rows would pair them with new days.
    showTable(products, kilograms, products.isEmpty() ? QList<UnitAccuracy>() : accuracy);
    showLots(firstButch, lastButch);
}

void Stat::showLots(int firstButch, int lastButch)
{
    QHash<QString, QStringList> lots;
    if (database.execQuery(LotsStatement, {firstButch, lastButch})) {
        const QueryResult &rows = database.result();
        for (int row = 0; row < rows.rows; ++row) {
            QStringList &ofProduct = lots[rows.value(row, 0)];
            if (!ofProduct.contains(rows.value(row, 1)))
                ofProduct << rows.value(row, 1);
        }
    }
    for (int row = 0; row < statTable->rowCount(); ++row) {
        const QTableWidgetItem *product = statTable->item(row, ProductColumn);
        const QStringList ofProduct = product ? lots.value(product->text()) : QStringList();
        auto *cell = new QTableWidgetItem(ofProduct.join(QStringLiteral(", ")));
        cell->setToolTip(ofProduct.join(u'\n'));
        statTable->setItem(row, LotColumn, cell);
    }
    fitColumns();
}

qreal Stat::getSumWeight(int firstButch, int lastButch, const QString &product, const QString &unit)
{
    database.execQuery(SumWeightStatement, {firstButch, lastButch, product, unit});
    double sum = 0.0;
    for (const QString &weight : database.result().values)
        sum += Database::decimalValue(weight);
    return toKilograms(sum, unit);
}

void Stat::saveProduct()
{
    const QString fileName =
        prompts.saveFileName(this, QStringLiteral("Сохранить"),
                             QStringLiteral("CSV (разделители - точка с запятой)(*.csv)"));
    if (fileName.isEmpty())
        return;
    if (saveCsv(fileName))
        return;
    warningBox->setText(QStringLiteral("Не удалось сохранить файл"));
    prompts.runBox(warningBox);
}

bool Stat::saveCsv(const QString &fileName) const
{
    CsvText csv;
    csv.heading(QStringLiteral("С")).cell(fromComboBox->currentText());
    csv.heading(QStringLiteral("По")).cell(toComboBox->currentText()).endLine().endLine();
    for (int column = 0; column < statTable->columnCount(); ++column)
        csv.heading(statTable->horizontalHeaderItem(column)->text());
    csv.endLine();
    for (int row = 0; row < statTable->rowCount(); ++row) {
        for (int column = 0; column < statTable->columnCount(); ++column) {
            const QTableWidgetItem *cell = statTable->item(row, column);
            QString cellText = cell ? cell->text() : QString();
            if (isDecimalColumn(column)) {
                const qsizetype point = cellText.indexOf(u'.');
                if (point >= 0)
                    cellText[point] = u',';
            }
            csv.cell(cellText);
        }
        csv.endLine();
    }
    return csv.save(fileName);
}

int Stat::butchOfDay(const QString &statement, const QString &day)
{
    database.execQuery(statement, {day});
    return database.result().value(0, 0).toInt();
}

void Stat::showTable(const QStringList &products, const QList<double> &kilograms,
                     const QList<UnitAccuracy> &accuracy)
{
    statTable->clear();
    statTable->setColumnCount(TableColumns);
    statTable->setRowCount(0);
    statTable->setHorizontalHeaderLabels(tableHeader());
    QHash<QString, QStringList> corrections;
    if (database.execQuery(CorrectionsStatement)) {
        const QueryResult &rows = database.result();
        for (int row = 0; row < rows.rows; ++row)
            corrections[rows.value(row, 0)]
                << QStringLiteral("поправка дозатора %1: %2")
                       .arg(rows.value(row, 1),
                            DoseCorrections::termsText(rows.value(row, 2).toDouble(),
                                                       rows.value(row, 3).toDouble()));
    }
    QHash<QString, QList<const UnitAccuracy *>> unitsOfProduct;
    for (const UnitAccuracy &unit : accuracy)
        unitsOfProduct[unit.product] << &unit;
    // A product dosed in several units takes a row per unit; its weight stands in the first.
    for (int product = 0; product < products.size(); ++product) {
        const QString &name = products.at(product);
        const QList<const UnitAccuracy *> units = unitsOfProduct.value(name);
        const int firstRow = statTable->rowCount();
        statTable->setRowCount(firstRow + int(qMax<qsizetype>(1, units.size())));
        statTable->setItem(
            firstRow, WeightColumn,
            new QTableWidgetItem(QString::number(kilograms.at(product), 'f', WeightDecimals)));
        for (int row = firstRow; row < statTable->rowCount(); ++row) {
            auto *cell = new QTableWidgetItem(name);
            cell->setToolTip(corrections.value(name).join(u'\n'));
            statTable->setItem(row, ProductColumn, cell);
        }
        for (int i = 0; i < units.size(); ++i) {
            const int row = firstRow + i;
            const DoseAccuracy &figures = units.at(i)->figures;
            statTable->setItem(row, UnitColumn, new QTableWidgetItem(units.at(i)->unit));
            statTable->setItem(row, DoseCountColumn,
                               new QTableWidgetItem(QString::number(figures.count())));
            statTable->setItem(row, MeanColumn, new QTableWidgetItem(figures.meanText()));
            statTable->setItem(row, DeviationColumn,
                               new QTableWidgetItem(figures.standardDeviationText()));
            statTable->setItem(row, LargestColumn, new QTableWidgetItem(figures.largestText()));
            statTable->setItem(row, WithinToleranceColumn,
                               new QTableWidgetItem(figures.withinToleranceText()));
            statTable->setItem(row, CpColumn, new QTableWidgetItem(figures.cpText()));
            statTable->setItem(row, CpkColumn, new QTableWidgetItem(figures.cpkText()));
            statTable->setItem(row, ClassColumn, new QTableWidgetItem(figures.classText()));
        }
    }
    fitColumns();
}

void Stat::fitColumns()
{
    const bool deviations = deviationsButton->isChecked();
    for (int column = 0; column < TableColumns; ++column)
        statTable->setColumnHidden(column, !isShownWithDeviations(column, deviations));
    statTable->resizeColumnsToContents();
    // A long product name gives way, down to its heading, so the figures need no scrolling;
    // room is kept for the scroll bar that many rows bring. Many lots give way first, down to
    // theirs (the view ends them with "…", the tooltip has them all).
    const int heading = statTable->horizontalHeader()->sectionSizeHint(ProductColumn);
    const auto roomBeside = [this](int column) {
        int others = 0;
        for (int other = ProductColumn + 1; other < TableColumns; ++other) {
            if (other != column && !statTable->isColumnHidden(other))
                others += statTable->columnWidth(other);
        }
        return statTable->contentsRect().width()
               - statTable->verticalScrollBar()->sizeHint().width() - others;
    };
    const int forLots = roomBeside(LotColumn) - heading;
    if (!statTable->isColumnHidden(LotColumn) && statTable->columnWidth(LotColumn) > forLots)
        statTable->setColumnWidth(
            LotColumn, qMax(forLots, statTable->horizontalHeader()->sectionSizeHint(LotColumn)));
    const int room = roomBeside(ProductColumn);
    if (statTable->columnWidth(ProductColumn) > room)
        statTable->setColumnWidth(ProductColumn, qMax(room, heading));
}

void Stat::showEvent(QShowEvent *event)
{
    RecordsWindow::showEvent(event);
    // The table has its real width only now.
    fitColumns();
}

#include "moc_stat.cpp"
