#include "database.h"
#include "daysummaries.h"
#include "stat.h"
#include "temporarydatabase.h"
#include "windows1251.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString FirstDay = QStringLiteral("01.03.2024");
const QString SecondDay = QStringLiteral("02.03.2024");
const QString ThirdDay = QStringLiteral("03.03.2024");

// Three days of batches: two products on the first two days, a third on the last.
void addSmallRecords(TemporaryDatabase &records)
{
    QVERIFY(records.createTables());
    records.addTask(records.addButch(FirstDay), "Мука", "кг", "12.50");
    records.addTask(records.addButch(FirstDay), "Сахар \"Экстра\"; в/с.", "г", "2500");
    records.addTask(records.addButch(SecondDay), "Мука", "т", "0.001");
    records.addTask(records.addButch(ThirdDay), "Соль", "кг", "1234.5");
}

// Every cell of the table, row by row.
QStringList cells(const QTableWidget *table)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem *cell = table->item(row, column);
            texts << (cell ? cell->text() : QString());
        }
    }
    return texts;
}

QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows << table->item(row, 0)->text() + " = " + table->item(row, 1)->text();
    return rows;
}

void chooseRange(Stat &stat, int first, int last)
{
    stat.fromComboBox->setCurrentIndex(first);
    stat.toComboBox->setCurrentIndex(last - first);
}

QByteArray fileBytes(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qreal sumWeight(Stat &stat, int first, int last, const QString &product, const QString &unit)
{
    qreal kilograms = -1;
    QMetaObject::invokeMethod(&stat, "getSumWeight", Qt::DirectConnection,
                              Q_RETURN_ARG(qreal, kilograms), Q_ARG(int, first), Q_ARG(int, last),
                              Q_ARG(QString, product), Q_ARG(QString, unit));
    return kilograms;
}

} // namespace

class tst_Stat : public QObject
{
    Q_OBJECT

private slots:
    void daysAreListedOnceInTheOrderOfTheirLastBatch();
    void choosingAFirstDayShowsThatDayAndOffersTheDaysFromIt();
    void unitsAddUpInKilogramsInTableAndFile();
    void weightOfAProductIsSummedRoundedAndAgreesWithGetSumWeight_data();
    void weightOfAProductIsSummedRoundedAndAgreesWithGetSumWeight();
    void rangeWithoutTasksEmptiesTableAndExport();
    void doseAccuracyPerProductAndUnitBesideTheTotals();
    void toleranceShareCpCpkAndClassOfEachProductInTableAndFile();
    void daysSummariesShowWhatTheRowsShow();
    void exportWritesTheExpectedBytes();
    void exportBeforeAnyDayWritesTheHeadingOnly();
    void showingAgainForgetsTheFirstDayOnly();
    void saveAsksForAFileAndWarnsWhenItCannotBeWritten();
    void everyWayOfClosingOnlyHides_data();
    void everyWayOfClosingOnlyHides();
    void brokenDatabaseLeavesTheWindowEmpty_data();
    void brokenDatabaseLeavesTheWindowEmpty();
};

void tst_Stat::daysAreListedOnceInTheOrderOfTheirLastBatch()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    records.addButch(SecondDay);
    records.addButch(FirstDay);
    records.addButch(SecondDay);
    records.addButch(ThirdDay);
    Stat stat(records.path());

    stat.fillDates();
    QCOMPARE(items(stat.fromComboBox), QStringList({FirstDay, SecondDay, ThirdDay}));
    QCOMPARE(stat.fromComboBox->currentIndex(), -1);
    QCOMPARE(stat.toComboBox->count(), 0);
    QCOMPARE(stat.statTable->rowCount(), 0);
}

void tst_Stat::choosingAFirstDayShowsThatDayAndOffersTheDaysFromIt()
{
    TemporaryDatabase records;
    addSmallRecords(records);
    Stat stat(records.path());
    stat.fillDates();

    stat.fromComboBox->setCurrentIndex(1);
    QCOMPARE(items(stat.toComboBox), QStringList({SecondDay, ThirdDay}));
    QCOMPARE(stat.toComboBox->currentText(), SecondDay);
    QCOMPARE(tableRows(stat.statTable), QStringList {"Мука = 1.00"});

    stat.toComboBox->setCurrentIndex(1);
    QCOMPARE(tableRows(stat.statTable), QStringList({"Мука = 1.00", "Соль = 1234.50"}));
    QCOMPARE(stat.statTable->horizontalHeaderItem(0)->text(), QString("Продукт"));
    QCOMPARE(stat.statTable->horizontalHeaderItem(1)->text(), QString("Вес, кг"));
}

void tst_Stat::unitsAddUpInKilogramsInTableAndFile()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    const int butch = records.addButch(FirstDay);
    records.addTask(butch, "Мука", "г", "2500");
    records.addTask(butch, "Мука", "кг", "1.5");
    records.addTask(butch, "Мука", "т", "0.001");
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 0);

    QCOMPARE(tableRows(stat.statTable), QStringList {"Мука = 5.00"});
    QTemporaryDir folder;
    QVERIFY(stat.saveCsv(folder.filePath("stat.csv")));
    QVERIFY(fileBytes(folder.filePath("stat.csv"))
                .contains(Windows1251::encode("\n\"Мука\";\"5,00\";")));
}

void tst_Stat::weightOfAProductIsSummedRoundedAndAgreesWithGetSumWeight_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("weights");
    QTest::addColumn<QString>("shown");

    QTest::newRow("no digit grouping") << "кг" << QStringList {"1234.5"} << "1234.50";
    QTest::newRow("rounds down") << "кг" << QStringList {"2.004"} << "2.00";
    QTest::newRow("rounds up") << "кг" << QStringList {"2.006"} << "2.01";
    QTest::newRow("many tasks") << "г" << QStringList {"0.5", "0.5", "999"} << "1.00";
    QTest::newRow("unknown unit counts nothing") << "lb" << QStringList {"10"} << "0.00";
    QTest::newRow("no unit counts nothing") << "" << QStringList {"10"} << "0.00";
    QTest::newRow("texts that are not numbers add 0")
        << "кг" << QStringList {"", "abc", "12abc", "1,5", " 2.5 "} << "2.50";
}

void tst_Stat::weightOfAProductIsSummedRoundedAndAgreesWithGetSumWeight()
{
    QFETCH(QString, unit);
    QFETCH(QStringList, weights);
    QFETCH(QString, shown);
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    const int butch = records.addButch(FirstDay);
    for (const QString &weight : weights)
        records.addTask(butch, "Мука", unit, weight);
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 0);

    QCOMPARE(tableRows(stat.statTable), QStringList {"Мука = " + shown});
    const qreal total = sumWeight(stat, butch, butch, "Мука", "г")
                        + sumWeight(stat, butch, butch, "Мука", "кг")
                        + sumWeight(stat, butch, butch, "Мука", "т");
    QCOMPARE(QString::number(total, 'f', 2), shown);
}

void tst_Stat::rangeWithoutTasksEmptiesTableAndExport()
{
    TemporaryDatabase records;
    addSmallRecords(records);
    records.addButch("04.03.2024");
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 1);
    QVERIFY(stat.statTable->rowCount() > 0);

    stat.fromComboBox->setCurrentIndex(3);
    QCOMPARE(stat.toComboBox->currentText(), QString("04.03.2024"));
    QCOMPARE(stat.statTable->rowCount(), 0);
    QTemporaryDir folder;
    QVERIFY(stat.saveCsv(folder.filePath("stat.csv")));
    const QList<QByteArray> lines = fileBytes(folder.filePath("stat.csv")).split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).contains("\"04.03.2024\";"));
}

void tst_Stat::doseAccuracyPerProductAndUnitBesideTheTotals()
{
    TemporaryDatabase records;
    QVERIFY(Database(records.path()).createTables());
    const int first = records.addButch(FirstDay);
    records.addTask(first, "Мука", "кг", "40.40");
    // Deviations +0.10, -0.05, +0.05, +0.30 (and -0.10 below); neither residue is a dose
    // against an order.
    records.addDose(first, "", "0.40", "кг", 2);
    records.addDose(first, "", "0.05", "кг", 2, false);
    for (const char *discharged : {"10.10", "9.95", "10.05", "10.30"})
        records.addDose(first, "10.00", discharged, "кг", 2);
    const int second = records.addButch(SecondDay);
    records.addTask(second, "Мука", "г", "490");
    records.addDose(second, "500", "490", "г", 0);
    records.addTask(records.addButch(SecondDay), "Соль", "кг", "12.00");
    // A second task of the same product and unit: its figures join the first task's.
    const int third = records.addButch(SecondDay);
    records.addTask(third, "Мука", "кг", "9.90");
    records.addDose(third, "10.00", "9.90", "кг", 2);
    const int outside = records.addButch(ThirdDay);
    records.addTask(outside, "Мука", "кг", "5.00");
    records.addDose(outside, "10.00", "5.00", "кг", 2);
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 1);

    QStringList rows;
    for (int row = 0; row < stat.statTable->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < stat.statTable->columnCount(); ++column) {
            const QTableWidgetItem *cell = stat.statTable->item(row, column);
            cells << (cell ? cell->text() : QString());
        }
        rows << cells.join(" | ");
    }
    // Rows without tolerances have no share, Cp or Cpk. The class against each unit's mean: the
    // single gram dose is its own mean; of the kilogram doses (mean +0.06) -0.10 lies 0.16 and
    // +0.30 0.24 away, beyond X(1)'s 1.5 % of 10 kg = 0.15, within X(2)'s 0.30. No batch has a
    // lot.
    QCOMPARE(rows, QStringList({"Мука | 50.79 | г | 1 | -10.0 | 0.0 | -10 |  |  |  | X(0.2) | ",
                                "Мука |  | кг | 5 | +0.060 | 0.156 | +0.30 |  |  |  | X(2) | ",
                                "Соль | 12.00 |  |  |  |  |  |  |  |  |  | "}));
    QTemporaryDir folder;
    QVERIFY(stat.saveCsv(folder.filePath("stat.csv")));
    QVERIFY(fileBytes(folder.filePath("stat.csv"))
                .contains(Windows1251::encode("\n\"Мука\";\"\";\"кг\";\"5\";\"+0,060\";\"0,156\";"
                                              "\"+0,30\";\"\";\"\";\"\";\"X(2)\";\"\";\n")));
}

void tst_Stat::toleranceShareCpCpkAndClassOfEachProductInTableAndFile()
{
    TemporaryDatabase records;
    QVERIFY(Database(records.path()).createTables());
    // Two batches of one product ordered 10.00 kg with +0.20 / -0.10: deviations +0.10, -0.05,
    // +0.05, +0.30, -0.10, and +0.00 from a row written before tolerances were kept.
    // Share: +0.30 is outside, -0.10 on its limit within: 4 of 5 = 80.0 %.
    // The five: mean 0.06, s^2 = (0.115 - 5 * 0.0036) / 4 = 0.02425, s = 0.155724;
    // Cp = 0.30 / (6 s) = 0.321, Cpk = min(0.14, 0.16) / (3 s) = 0.2997.
    // Class of all six, mean 0.05: +0.30 lies 0.25 away, beyond X(1)'s 0.15 -> X(2).
    const int first = records.addButch(FirstDay);
    records.addTask(first, "Мука", "кг", "30.05");
    records.addDose(first, "", "0.20", "кг", 2, true, "0.20", "0.10");
    records.addDose(first, "10.00", "10.10", "кг", 2, true, "0.20", "0.10");
    records.addDose(first, "10.00", "9.95", "кг", 2, true, "0.20", "0.10");
    records.addDose(first, "10.00", "10.00", "кг", 2);
    const int second = records.addButch(FirstDay);
    records.addTask(second, "Мука", "кг", "30.25");
    records.addDose(second, "10.00", "10.05", "кг", 2, true, "0.20", "0.10");
    records.addDose(second, "10.00", "10.30", "кг", 2, true, "0.20", "0.10");
    records.addDose(second, "10.00", "9.90", "кг", 2, true, "0.20", "0.10");
    // Fills of 250 g: X(1) 9 g. Deviations +2, -1, +1 about their mean 0.667: at most 1.667
    // away, within X(0.2)'s 1.8 g. One dose is out of its +1 / -1 g: 2 of 3 = 66.7 %, mean 0.667,
    // s^2 = (6 - 3 * 0.4444) / 2 = 2.3333, s = 1.5275; Cp = 2 / 9.165 = 0.218,
    // Cpk = (1 - 0.667) / 4.5826 = 0.0727.
    const int third = records.addButch(SecondDay);
    records.addTask(third, "Сахар", "г", "752");
    for (const char *discharged : {"252", "249", "251"})
        records.addDose(third, "250", discharged, "г", 0, true, "1", "1");
    QVERIFY(records.exec("INSERT INTO doseCorrection (deviceId, productName, correction, ratios, "
                         "inFlight, sent) VALUES (31, 'Мука', 0.0196, '', 0.29, '')"));
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 1);
    // What is learned of a product's fills, per doser, as it acts on the fill.
    QCOMPARE(stat.statTable->item(0, 0)->toolTip(),
             "поправка дозатора 31: -1.96 %, в полёте -0.290");
    QVERIFY(stat.statTable->item(1, 0)->toolTip().isEmpty());

    const auto figures = [&](int row) {
        QStringList cells {stat.statTable->item(row, 0)->text(),
                           stat.statTable->item(row, 3)->text()};
        for (int column = 7; column < stat.statTable->columnCount(); ++column)
            cells << stat.statTable->item(row, column)->text();
        return cells.join(" | ");
    };
    QCOMPARE(stat.statTable->rowCount(), 2);
    QCOMPARE(figures(0), QString("Мука | 6 | 80.0 | 0.32 | 0.30 | X(2) | "));
    QCOMPARE(figures(1), QString("Сахар | 3 | 66.7 | 0.22 | 0.07 | X(0.2) | "));

    QTemporaryDir folder;
    QVERIFY(stat.saveCsv(folder.filePath("stat.csv")));
    const QByteArray csv = fileBytes(folder.filePath("stat.csv"));
    QVERIFY(csv.contains(Windows1251::encode("\"80,0\";\"0,32\";\"0,30\";\"X(2)\";\"\";\n")));
    QVERIFY(csv.contains(Windows1251::encode("\"66,7\";\"0,22\";\"0,07\";\"X(0.2)\";\"\";\n")));
}

void tst_Stat::daysSummariesShowWhatTheRowsShow()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables() && records.createDoseTable());
    const int first = records.addButch(FirstDay);
    records.addTask(first, "Мука", "кг", "20.03");
    records.addDose(first, "10.00", "10.02", "кг", 2, true, "0.20", "0.10");
    // Weighed in grams once the doser's unit was changed: a unit of doses alone.
    records.addDose(first, "500", "498", "г", 0, true, "5", "5");
    records.addTask(records.addButch(SecondDay), "Соль", "т", "0.125");
    QStringList summarized;
    {
        Database database(records.path());
        QVERIFY(database.createTables());
        Stat stat(records.path());
        stat.fillDates();
        chooseRange(stat, 0, 1);
        summarized = cells(stat.statTable);
        QVERIFY(DaySummaries(database).remove());
    }
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 1);
    QCOMPARE(summarized, cells(stat.statTable));
    QCOMPARE(stat.statTable->rowCount(), 3);
    QCOMPARE(summarized.mid(0, 3), QStringList({"Мука", "20.03", "г"}));
}

void tst_Stat::exportWritesTheExpectedBytes()
{
    TemporaryDatabase records;
    addSmallRecords(records);
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 2);
    QTemporaryDir folder;
    const QString fileName = folder.filePath("stat.csv");
    QFile old(fileName);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(1000, 'x'));
    old.close();

    QVERIFY(stat.saveCsv(fileName));
    QCOMPARE(fileBytes(fileName), fileBytes(QFINDTESTDATA("data/statExport.csv")));

    const QString output = qEnvironmentVariable("K310_TEST_OUTPUT");
    if (!output.isEmpty() && QDir().mkpath(output)) {
        stat.show();
        stat.grab().save(output + "/stat.png");
    }
}

void tst_Stat::exportBeforeAnyDayWritesTheHeadingOnly()
{
    TemporaryDatabase records;
    addSmallRecords(records);
    Stat stat(records.path());
    stat.fillDates();
    QTemporaryDir folder;

    QVERIFY(stat.saveCsv(folder.filePath("stat.csv")));
    const QList<QByteArray> lines = fileBytes(folder.filePath("stat.csv")).split('\n');
    QCOMPARE(lines.mid(0, 2), QList<QByteArray>({Windows1251::encode("С;\"\";По;\"\";"), ""}));
    QVERIFY(lines.at(2).startsWith(Windows1251::encode("Продукт;Вес, кг;")));
    QCOMPARE(lines.mid(3), QList<QByteArray> {""});
}

void tst_Stat::showingAgainForgetsTheFirstDayOnly()
{
    TemporaryDatabase records;
    addSmallRecords(records);
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 1);
    const QStringList shown = tableRows(stat.statTable);

    stat.fillDates();
    QCOMPARE(stat.fromComboBox->currentIndex(), -1);
    QCOMPARE(items(stat.toComboBox), QStringList({FirstDay, SecondDay, ThirdDay}));
    QCOMPARE(stat.toComboBox->currentText(), SecondDay);
    QCOMPARE(tableRows(stat.statTable), shown);
    QTemporaryDir folder;
    QVERIFY(stat.saveCsv(folder.filePath("stat.csv")));
    QVERIFY(fileBytes(folder.filePath("stat.csv"))
                .startsWith(Windows1251::encode("С;\"\";По;\"02.03.2024\";\n")));
}

void tst_Stat::saveAsksForAFileAndWarnsWhenItCannotBeWritten()
{
    TemporaryDatabase records;
    addSmallRecords(records);
    Stat stat(records.path());
    stat.fillDates();
    chooseRange(stat, 0, 0);
    QTemporaryDir folder;
    QString answer;
    QStringList questions;
    QStringList warnings;
    ModalPrompts prompts;
    prompts.saveFileName = [&](QWidget *parent, const QString &caption, const QString &filter) {
        questions << caption + " | " + filter;
        return parent == &stat ? answer : QString();
    };
    prompts.runBox = [&](QMessageBox *box) {
        const QList<QAbstractButton *> buttons = box->buttons();
        warnings << box->windowTitle() + " | " + box->text() + " | " + buttons.value(0)->text()
                        + " | " + QString::number(buttons.size());
        return buttons.value(0);
    };
    stat.setPrompts(prompts);

    answer.clear();
    stat.saveButton->click();
    QCOMPARE(questions, QStringList {"Сохранить | CSV (разделители - точка с запятой)(*.csv)"});
    QVERIFY(QDir(folder.path()).isEmpty());

    answer = folder.filePath("stat.csv");
    stat.saveButton->click();
    QVERIFY(QFile::exists(answer));
    QVERIFY(warnings.isEmpty());

    answer = folder.filePath("missing/stat.csv");
    stat.saveButton->click();
    QCOMPARE(warnings, QStringList {"Сообщение | Не удалось сохранить файл | Ok | 1"});
}

void tst_Stat::everyWayOfClosingOnlyHides_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("closeClicks");

    QTest::newRow("Закрыть") << "button" << 1;
    QTest::newRow("window's close control") << "close" << 0;
    QTest::newRow("Escape") << "escape" << 0;
}

void tst_Stat::everyWayOfClosingOnlyHides()
{
    QFETCH(QString, way);
    QFETCH(int, closeClicks);
    TemporaryDatabase records;
    auto *stat = new Stat(records.path());
    const QPointer<Stat> alive(stat);
    QSignalSpy hidden(stat, &Stat::windowHided);
    QSignalSpy closeClicked(stat, &Stat::closeClicked);
    stat->show();
    QVERIFY(QTest::qWaitForWindowExposed(stat));

    if (way == "button")
        stat->closeButton->click();
    else if (way == "close")
        stat->close();
    else
        QTest::keyClick(stat, Qt::Key_Escape);

    QVERIFY(stat->isHidden());
    QCOMPARE(hidden.count(), 1);
    QCOMPARE(closeClicked.count(), closeClicks);
    QCoreApplication::processEvents();
    QVERIFY(alive);
    stat->show();
    QVERIFY(stat->isVisible());

    QTest::ignoreMessage(QtDebugMsg, "~Stat()");
    delete stat;
}

void tst_Stat::brokenDatabaseLeavesTheWindowEmpty_data()
{
    QTest::addColumn<TemporaryDatabase::Broken>("how");
    QTest::newRow("not a database") << TemporaryDatabase::Broken::NotADatabase;
    QTest::newRow("read-only") << TemporaryDatabase::Broken::ReadOnly;
    QTest::newRow("missing directory") << TemporaryDatabase::Broken::MissingDirectory;
}

void tst_Stat::brokenDatabaseLeavesTheWindowEmpty()
{
    QFETCH(TemporaryDatabase::Broken, how);
    TemporaryDatabase records;
    const QString fileName = records.spoil(how);

    Stat stat(fileName);
    stat.fillDates();
    QCOMPARE(stat.fromComboBox->count(), 0);
    QCOMPARE(stat.statTable->rowCount(), 0);
    QTemporaryDir folder;
    QVERIFY(stat.saveCsv(folder.filePath("stat.csv")));
}

QTEST_MAIN(tst_Stat)
#include "tst_stat.moc"
