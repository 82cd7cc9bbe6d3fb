// Times the statistics window over ten years of records, dose accuracy included, against the
// sqlite3 shell computing the same figures with grouped queries on the same file, and prints
// both, their ratio and whether the figures agree. The records are written as an older program
// wrote them, without the days' summaries; building those, and what they add to a discharge's
// write, are timed too.
#include "butchrecords.h"
#include "database.h"
#include "daysummaries.h"
#include "doseaccuracy.h"
#include "stat.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Batches = 150000;
constexpr int BatchesPerDay = 41; // about ten years of days
constexpr int Products = 50;
constexpr int DosesPerBatch = 20; // three million doses
constexpr int Repeats = 7;
constexpr int Discharges = 20;
constexpr double TargetRatio = 0.1;

// One task per batch; every seventh task counts grams, the next tonnes, the rest kilograms.
const char *const Generation[] = {
    "BEGIN",
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
    "INSERT INTO product (productName) SELECT 'Продукт ' || i FROM n",
    "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1 - 1) "
    "INSERT INTO butch (date, startTime, endTime, endDate) "
    "SELECT strftime('%d.%m.%Y', '2015-01-01', '+' || (i / %2) || ' days'), "
    "printf('%02d:%02d', 6 + (i % %2) / 3, (i % 3) * 20), "
    "printf('%02d:%02d', 6 + (i % %2) / 3, (i % 3) * 20 + 15), "
    "strftime('%d.%m.%Y', '2015-01-01', '+' || (i / %2) || ' days') FROM n",
    "INSERT INTO task SELECT idButch, 30, startTime, ' ', '0', "
    "CASE idButch % 7 WHEN 0 THEN printf('%.0f', (idButch * 7919) % 100000 * 10.0) "
    "WHEN 1 THEN printf('%.3f', (idButch * 7919) % 100000 / 100000.0) "
    "ELSE printf('%.2f', (idButch * 7919) % 100000 / 100.0) END, '0.00', "
    "'Продукт ' || (idButch * 31 % %3 + 1), "
    "CASE idButch % 7 WHEN 0 THEN 'г' WHEN 1 THEN 'т' ELSE 'кг' END, date, endDate, idButch "
    "FROM butch",
    // The first discharge of a batch empties a residue (every other one declined); the others
    // scatter around the ordered fill in the task's unit and format.
    "WITH RECURSIVE k(j) AS (SELECT 0 UNION ALL SELECT j + 1 FROM k WHERE j < %4 - 1), "
    "d AS (SELECT idButch, j, (idButch * 7919 + j * 104729) % 101 - 50 AS r, idButch % 7 AS u, "
    "date, startTime FROM butch, k) "
    "INSERT INTO dose (idButch, deviceId, date, time, orderedWeight, dischargedWeight, "
    "weightScale, decimals, counted, doseFaultPlus, doseFaultMinus, idTask) "
    "SELECT idButch, 30, date, startTime || printf(':%02d', j), "
    "CASE WHEN j = 0 THEN '' WHEN u = 0 THEN '500' WHEN u = 1 THEN '0.030' ELSE '28.57' END, "
    "CASE u WHEN 0 THEN printf('%.0f', 500 + r / 5) WHEN 1 THEN printf('%.3f', 0.030 + r / 10 "
    "/ 1000.0) ELSE printf('%.2f', 28.57 + r / 100.0) END, "
    "CASE u WHEN 0 THEN 'г' WHEN 1 THEN 'т' ELSE 'кг' END, CASE u WHEN 0 THEN 0 WHEN 1 THEN 3 "
    "ELSE 2 END, j > 0 OR idButch % 2, '0.50', '0.50', idButch FROM d ORDER BY idButch, j",
    "COMMIT",
};

void dropTrace(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qUtf8Printable(message));
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The median time of a discharge counted into a new batch's task, as the console writes it.
double dischargeMs(Database &database)
{
    ButchRecords records(database);
    const quint64 butch = records.newButch();
    const qint64 task =
        records.newTask(butch, 30, QStringLiteral("100.00"), QStringLiteral("100.00"),
                        QStringLiteral("Продукт 1"), QStringLiteral("кг"));
    QList<double> times;
    for (int i = 1; i <= Discharges; ++i) {
        DoseRecord dose;
        dose.butchId = qint64(butch);
        dose.deviceId = 30;
        dose.orderedWeight = QStringLiteral("5.00");
        dose.dischargedWeight = QStringLiteral("5.01");
        dose.unit = QStringLiteral("кг");
        dose.decimals = 2;
        dose.tolerancePlus = dose.toleranceMinus = QStringLiteral("0.50");
        QElapsedTimer timer;
        timer.start();
        if (!records.countDischarge(task, QString::number(5.01 * i, 'f', 2), QStringLiteral("0"),
                                    dose))
            return -1;
        times << elapsedMs(timer);
    }
    if (!records.finishTask(task, QStringLiteral("100.00"),
                            QString::number(5.01 * Discharges, 'f', 2), QStringLiteral("0"),
                            QStringLiteral("Продукт 1"), QStringLiteral("кг"))
        || !records.closeButch(butch))
        return -1;
    return median(times);
}

// A product's row of the window, as text: its weight, then per unit its dose accuracy.
using Table = QHash<QString, QStringList>;

// The shell's sums per product and unit, turned into the window's texts.
Table shellTable(const QByteArray &output)
{
    QHash<QString, double> kilograms;
    QMap<QString, QStringList> accuracy;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> fields = line.split('|');
        const QString product = QString::fromUtf8(fields.at(0));
        const QString unit = fields.size() > 1 ? QString::fromUtf8(fields.at(1)) : QString();
        if (fields.size() == 3) {
            double sum = fields.at(2).toDouble();
            if (unit == QStringLiteral("г"))
                sum /= 1000.0;
            else if (unit == QStringLiteral("т"))
                sum *= 1000.0;
            else if (unit != QStringLiteral("кг"))
                sum = 0.0;
            kilograms[product] += sum;
        } else if (fields.size() == 8) {
            const DoseAccuracy figures(fields.at(2).toLongLong(), fields.at(3).toDouble(),
                                       fields.at(4).toDouble(), fields.at(5).toDouble(),
                                       fields.at(6).toDouble(), fields.at(7).toInt());
            accuracy[product] << unit + u' ' + QString::number(figures.count()) + u' '
                                     + figures.meanText() + u' ' + figures.standardDeviationText()
                                     + u' ' + figures.largestText();
        }
    }
    Table table;
    for (auto it = kilograms.cbegin(); it != kilograms.cend(); ++it) {
        QStringList units = accuracy.value(it.key());
        units.sort();
        table.insert(it.key(), QStringList {QString::number(it.value(), 'f', 2)} + units);
    }
    return table;
}

Table windowTable(const Stat &stat)
{
    const auto cell = [&](int row, int column) {
        const QTableWidgetItem *item = stat.statTable->item(row, column);
        return item ? item->text() : QString();
    };
    Table table;
    for (int row = 0; row < stat.statTable->rowCount(); ++row) {
        QStringList &cells = table[cell(row, 0)];
        if (!cell(row, 1).isEmpty())
            cells.prepend(cell(row, 1));
        if (!cell(row, 2).isEmpty())
            cells << QStringList {cell(row, 2), cell(row, 3), cell(row, 4), cell(row, 5),
                                  cell(row, 6)}
                         .join(u' ');
    }
    for (QStringList &cells : table) {
        QStringList units = cells.mid(1);
        units.sort();
        cells = QStringList {cells.value(0)} + units;
    }
    return table;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    qInstallMessageHandler(dropTrace);

    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    QTemporaryDir folder;
    if (shell.isEmpty() || !folder.isValid()) {
        fprintf(stderr, "needs the sqlite3 shell and a temporary folder\n");
        return 2;
    }
    const QString fileName = folder.filePath(QStringLiteral("data.db"));

    QElapsedTimer timer;
    timer.start();
    {
        Database database(fileName);
        // As an older program left the file: rows without summaries.
        bool generated = database.createTables() && DaySummaries(database).remove();
        for (const char *statement : Generation)
            generated = generated
                        && database.execQuery(QString::fromUtf8(statement),
                                              {Batches, BatchesPerDay, Products, DosesPerBatch});
        if (!generated) {
            fprintf(stderr, "generation failed: %s\n", qUtf8Printable(database.result().errorText));
            return 2;
        }
        printf("generated %d batches with one task and %d doses each, %d products, in %.0f ms\n",
               Batches, DosesPerBatch, Products, elapsedMs(timer));

        const double plainMs = dischargeMs(database);
        timer.restart();
        if (!database.createTables()) {
            fprintf(stderr, "summaries not built: %s\n",
                    qUtf8Printable(database.lastErrorMessage()));
            return 2;
        }
        printf("days' summaries built from the rows in %.0f ms\n", elapsedMs(timer));
        printf("a discharge written: %.2f ms without summaries, %.2f ms with the day's "
               "(median of %d)\n",
               plainMs, dischargeMs(database), Discharges);
    }

    Stat stat(fileName);
    timer.restart();
    stat.fillDates();
    printf("list of %d days: %.1f ms\n", stat.fromComboBox->count(), elapsedMs(timer));
    stat.fromComboBox->setCurrentIndex(0);
    const int lastDay = stat.toComboBox->count() - 1;

    Database lookup(fileName);
    lookup.execQuery(QStringLiteral("SELECT MIN(idButch), MAX(idButch) FROM butch"));
    const QString shellStatement =
        QStringLiteral(
            "SELECT productName, weightScale, SUM(haveDoneWeight) FROM task WHERE idButch >= %1 "
            "AND idButch <= %2 GROUP BY productName, weightScale; "
            "SELECT task.productName, dose.weightScale, SUM(dose.doses), "
            "TOTAL(dose.deviations), TOTAL(dose.squares), MAX(dose.highest), MIN(dose.lowest), "
            "MAX(dose.decimals) FROM (SELECT idButch, deviceId, weightScale, COUNT(*) AS doses, "
            "TOTAL(dischargedWeight - orderedWeight) AS deviations, "
            "TOTAL((dischargedWeight - orderedWeight) * (dischargedWeight - orderedWeight)) AS "
            "squares, MAX(dischargedWeight - orderedWeight) AS highest, "
            "MIN(dischargedWeight - orderedWeight) AS lowest, MAX(decimals) AS decimals "
            "FROM dose WHERE idButch >= %1 AND idButch <= %2 AND counted = 1 AND "
            "orderedWeight != '' GROUP BY idButch, deviceId, weightScale) AS dose JOIN task ON "
            "task.idButch = dose.idButch AND task.deviceId = dose.deviceId "
            "GROUP BY task.productName, dose.weightScale;")
            .arg(lookup.result().value(0, 0), lookup.result().value(0, 1));

    QList<double> windowTimes;
    QList<double> shellTimes;
    QByteArray shellOutput;
    // The first round only warms the caches; the rounds alternate so both meet the same noise.
    for (int round = 0; round <= Repeats; ++round) {
        stat.toComboBox->setCurrentIndex(0);
        timer.restart();
        stat.toComboBox->setCurrentIndex(lastDay);
        const double windowMs = elapsedMs(timer);

        QProcess process;
        timer.restart();
        process.start(shell, {fileName, shellStatement});
        process.waitForFinished(-1);
        const double shellMs = elapsedMs(timer);
        shellOutput = process.readAllStandardOutput();
        if (round > 0) {
            windowTimes << windowMs;
            shellTimes << shellMs;
        }
    }

    // One day, the window's first answer when a day is chosen.
    QList<double> dayTimes;
    for (int round = 0; round <= Repeats; ++round) {
        stat.toComboBox->setCurrentIndex(1);
        timer.restart();
        stat.toComboBox->setCurrentIndex(0);
        if (round > 0)
            dayTimes << elapsedMs(timer);
    }
    stat.toComboBox->setCurrentIndex(lastDay);

    const double windowMs = median(windowTimes);
    const double shellMs = median(shellTimes);
    const double ratio = windowMs / shellMs;
    const bool agree = windowTable(stat) == shellTable(shellOutput);
    printf("statistics table with dose accuracy, whole range (%d rows): %.1f ms (median of %d)\n",
           stat.statTable->rowCount(), windowMs, Repeats);
    printf("statistics table of the first day: %.1f ms (median of %d)\n", median(dayTimes),
           Repeats);
    printf("sqlite3 shell, the weights and the dose accuracy grouped by product and unit: "
           "%.1f ms (median of %d)\n",
           shellMs, Repeats);
    printf("ratio: %.3f (target <= %.1f: %s); the figures %s the shell's\n", ratio, TargetRatio,
           ratio <= TargetRatio ? "met" : "missed", agree ? "equal" : "DIFFER FROM");
    return ratio <= TargetRatio && agree ? 0 : 1;
}
