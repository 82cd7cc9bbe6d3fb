#include "database.h"
#include "dialogcheck.h"
#include "stat.h"
#include "temporarydatabase.h"

#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The console's window on the panel; the statistics open over it.
constexpr int ConsoleWidth = 895;
// The product column, which gives way to the figures.
constexpr int ProductColumn = 0;

const QString Day = QStringLiteral("01.03.2024");

// A product with a long name dosed in two units, and more products than the table shows rows,
// all with large figures: the widest table the window has to show.
void addWideRecords(TemporaryDatabase &records)
{
    QVERIFY(Database(records.path()).createTables());
    const int butch = records.addButch(Day);
    records.addTask(butch, "Мука пшеничная хлебопекарная высшего сорта, ГОСТ 26574", "кг",
                    "123456.78");
    for (int i = 0; i < 20; ++i) {
        records.addDose(butch, "1000.00", i % 2 ? "1012.35" : "987.65", "кг", 2, true, "5.00",
                        "5.00");
        records.addDose(butch, "25000", i % 2 ? "25012" : "24990", "г", 0, true, "10", "10");
    }
    for (int product = 0; product < 12; ++product) {
        const int more = records.addButch(Day);
        records.addTask(more, QStringLiteral("Продукт %1").arg(product), "т", "999.999");
        records.addDose(more, "9.999", "9.998", "т", 3, true, "0.005", "0.005");
    }
    // Every batch with a lot of its own.
    QVERIFY(records.exec("UPDATE butch SET lot = 'П26-' || printf('%03d', idButch)"));
}

// Columns shown narrower than what they hold: cut figures or a heading cut short.
QStringList cutColumns(const QTableWidget *table)
{
    QStringList cut;
    for (int column = ProductColumn + 1; column < table->columnCount(); ++column) {
        if (table->isColumnHidden(column))
            continue;
        const QAbstractItemView *view = table;
        const int needed = qMax(view->sizeHintForColumn(column),
                                table->horizontalHeader()->sectionSizeHint(column));
        if (table->columnWidth(column) < needed)
            cut << table->horizontalHeaderItem(column)->text();
    }
    return cut;
}

} // namespace

class tst_StatColumns : public QObject
{
    Q_OBJECT

private slots:
    void figuresNeedNoScrollingAtTheConsolesWidthAndTheExportKeepsAll();
};

void tst_StatColumns::figuresNeedNoScrollingAtTheConsolesWidthAndTheExportKeepsAll()
{
    DialogCheck::useConsoleLook();
    TemporaryDatabase records;
    addWideRecords(records);
    Stat stat(records.path());
    stat.fillDates();
    stat.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stat));
    stat.fromComboBox->setCurrentIndex(0);
    QTableWidget *table = stat.statTable;
    QVERIFY(table->rowCount() > 12);
    QVERIFY(stat.width() <= ConsoleWidth);
    QVERIFY(!DialogCheck::saveScreenshot(&stat, QStringLiteral("stat")).isEmpty());

    QTemporaryDir folder;
    QSet<int> everShown;
    QList<QByteArray> files;
    for (bool deviations : {false, true}) {
        stat.deviationsButton->setChecked(deviations);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
        QVERIFY2(cutColumns(table).isEmpty(), qPrintable(cutColumns(table).join(", ")));
        // The long name gives way, not its heading.
        QVERIFY(table->columnWidth(ProductColumn)
                >= table->horizontalHeader()->sectionSizeHint(ProductColumn));
        for (int column = 0; column < table->columnCount(); ++column) {
            if (!table->isColumnHidden(column))
                everShown << column;
        }
        const QString name = folder.filePath(QString::number(deviations));
        QVERIFY(stat.saveCsv(name));
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        files << file.readAll();
    }
    QCOMPARE(everShown.size(), table->columnCount());
    // Whichever columns are shown, the file has a cell for every one.
    QCOMPARE(files.at(0), files.at(1));
    QCOMPARE(files.at(0).split('\n').value(2).count(';'), table->columnCount());
}

QTEST_MAIN(tst_StatColumns)
#include "tst_statcolumns.moc"
