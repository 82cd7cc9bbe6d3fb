// Times the statistics window over ten years of records against one GROUP BY of the sqlite3
// shell on the same file, and prints both and their ratio.
#include "database.h"
#include "stat.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Batches = 150000;
constexpr int BatchesPerDay = 41; // about ten years of days
constexpr int Products = 50;
constexpr int Repeats = 7;
constexpr double TargetRatio = 1.5;

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
    "CASE idButch % 7 WHEN 0 THEN 'г' WHEN 1 THEN 'т' ELSE 'кг' END, date, endDate FROM butch",
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

// The shell's sums per product and unit, turned into the table's kilogram texts.
QHash<QString, QString> shellTable(const QByteArray &output)
{
    QHash<QString, double> kilograms;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> fields = line.split('|');
        if (fields.size() != 3)
            continue;
        const QString unit = QString::fromUtf8(fields.at(1));
        double sum = fields.at(2).toDouble();
        if (unit == QStringLiteral("г"))
            sum /= 1000.0;
        else if (unit == QStringLiteral("т"))
            sum *= 1000.0;
        else if (unit != QStringLiteral("кг"))
            sum = 0.0;
        kilograms[QString::fromUtf8(fields.at(0))] += sum;
    }
    QHash<QString, QString> table;
    for (auto it = kilograms.cbegin(); it != kilograms.cend(); ++it)
        table.insert(it.key(), QString::number(it.value(), 'f', 2));
    return table;
}

QHash<QString, QString> windowTable(const Stat &stat)
{
    QHash<QString, QString> table;
    for (int row = 0; row < stat.statTable->rowCount(); ++row)
        table.insert(stat.statTable->item(row, 0)->text(), stat.statTable->item(row, 1)->text());
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
        bool generated = database.createTables();
        for (const char *statement : Generation)
            generated = generated
                        && database.execQuery(QString::fromUtf8(statement),
                                              {Batches, BatchesPerDay, Products});
        if (!generated) {
            fprintf(stderr, "generation failed: %s\n", qUtf8Printable(database.result().errorText));
            return 2;
        }
    }
    printf("generated %d batches with one task each, %d products, in %.0f ms\n", Batches, Products,
           elapsedMs(timer));

    Stat stat(fileName);
    timer.restart();
    stat.fillDates();
    printf("list of %d days: %.1f ms\n", stat.fromComboBox->count(), elapsedMs(timer));
    stat.fromComboBox->setCurrentIndex(0);
    const int lastDay = stat.toComboBox->count() - 1;

    Database lookup(fileName);
    lookup.execQuery(QStringLiteral("SELECT MIN(idButch), MAX(idButch) FROM butch"));
    const QString shellStatement =
        QStringLiteral("SELECT productName, weightScale, SUM(haveDoneWeight) FROM task WHERE "
                       "idButch >= %1 AND idButch <= %2 GROUP BY productName, weightScale;")
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

    const double windowMs = median(windowTimes);
    const double shellMs = median(shellTimes);
    const double ratio = windowMs / shellMs;
    const bool agree = windowTable(stat) == shellTable(shellOutput);
    printf("statistics table, whole range (%d products): %.1f ms (median of %d)\n",
           stat.statTable->rowCount(), windowMs, Repeats);
    printf("sqlite3 shell, one GROUP BY productName, weightScale: %.1f ms (median of %d)\n",
           shellMs, Repeats);
    printf("ratio: %.2f (target <= %.1f: %s); the table %s the shell's sums\n", ratio, TargetRatio,
           ratio <= TargetRatio ? "met" : "missed", agree ? "matches" : "DIFFERS FROM");
    return ratio <= TargetRatio && agree ? 0 : 1;
}
