// The schedule window by touch: an entry the runner would refuse leaves data.db as it was, the
// waiting entries change places and go, and the level Оператор reads without changing.
#include "accesscontrol.h"
#include "accessstore.h"
#include "database.h"
#include "formulastore.h"
#include "lineeditembedded.h"
#include "schedulestore.h"
#include "schedulewindow.h"
#include "scriptedoperator.h"
#include "temporarydatabase.h"
#include "touchsize.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const QList<LineCapacity> Line = {
    {30, 50, 2, true, QString()},
    {31, 30, 2, true, QString()},
};

enum Kind { FormulaKind, ProductKind };

class Panel
{
public:
    Panel()
    {
        records.createTables();
        records.exec("INSERT INTO product (productName) VALUES (?1)", {QStringLiteral("Мука")});
        connection = std::make_unique<Database>(records.path());
        connection->createTables();
        Formula mix;
        mix.name = QStringLiteral("Смесь");
        mix.baseSize = 100;
        mix.largestBatch = 50;
        mix.lotPattern = QStringLiteral("С-{NNN}");
        mix.components = {{"Мука", 30, 100, 0.5, 0.5, 1}};
        (void)FormulaStore(*connection).save(mix);
        accessStore = std::make_unique<AccessStore>(*connection);
        access = std::make_unique<AccessControl>(*accessStore);
        window = std::make_unique<ScheduleWindow>(records.path(), Line, *access);
        window->setPrompts(person.prompts());
        window->show();
    }

    template<typename Widget>
    Widget *find(const char *name)
    {
        return window->findChild<Widget *>(QString::fromLatin1(name));
    }

    void touch(const char *button)
    {
        QTest::mouseClick(find<QAbstractButton>(button), Qt::LeftButton);
    }

    // A product has no pattern of a formula's: it gets one of its own unless told otherwise; a
    // formula's entry takes its formula's.
    void add(int kind, const QString &what, const QString &size, const QString &count = "1",
             const QString &pattern = QStringLiteral("М-{NN}"))
    {
        find<QComboBox>("kindBox")->setCurrentIndex(kind);
        find<QComboBox>("whatBox")->setCurrentIndex(find<QComboBox>("whatBox")->findText(what));
        find<LineEditEmbedded>("sizeField")->acceptKeyboardText(size);
        find<LineEditEmbedded>("countField")->acceptKeyboardText(count);
        find<LineEditEmbedded>("patternField")
            ->acceptKeyboardText(kind == ProductKind ? pattern : QString());
        touch("addButton");
    }

    // The entries' sizes in the window's order.
    QStringList sizesShown()
    {
        QStringList sizes;
        auto *table = find<QTableWidget>("scheduleTable");
        for (int row = 0; row < table->rowCount(); ++row)
            sizes << table->item(row, 1)->text();
        return sizes;
    }

    QString rows() { return records.select("SELECT count(*) FROM schedule").value(0); }

    TemporaryDatabase records;
    std::unique_ptr<Database> connection;
    std::unique_ptr<AccessStore> accessStore;
    std::unique_ptr<AccessControl> access;
    std::unique_ptr<ScheduleWindow> window;
    ScriptedOperator person;
    // What the message boxes said.
    QStringList &told = person.asked;
};

} // namespace

class tst_ScheduleWindow : public QObject
{
    Q_OBJECT

private slots:
    void entryTheRunnerWouldRefuseWritesNothing_data();
    void entryTheRunnerWouldRefuseWritesNothing();
    void waitingEntriesMoveAndGoInTheirPlaces();
    void operatorReadsButCannotAdd();
};

void tst_ScheduleWindow::entryTheRunnerWouldRefuseWritesNothing_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("what");
    // Size and number of batches.
    QTest::addColumn<QStringList>("entered");
    QTest::addColumn<bool>("formulaGone");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("a product of size 0")
        << int(ProductKind) << "Мука" << QStringList {"0", "1"} << false << "М-{NN}";
    QTest::newRow("no product chosen")
        << int(ProductKind) << "" << QStringList {"5", "1"} << false << "М-{NN}";
    QTest::newRow("above the formula's largest batch")
        << int(FormulaKind) << "Смесь" << QStringList {"80", "1"} << false << "";
    QTest::newRow("the formula deleted meanwhile")
        << int(FormulaKind) << "Смесь" << QStringList {"20", "1"} << true << "";
    QTest::newRow("no batches") << int(FormulaKind) << "Смесь" << QStringList {"20", "0"} << false
                                << "";
    QTest::newRow("a product without a lot or its pattern")
        << int(ProductKind) << "Мука" << QStringList {"20", "1"} << false << "";
}

void tst_ScheduleWindow::entryTheRunnerWouldRefuseWritesNothing()
{
    QFETCH(int, kind);
    QFETCH(QString, what);
    QFETCH(QStringList, entered);
    QFETCH(bool, formulaGone);
    QFETCH(QString, pattern);
    Panel panel;
    if (formulaGone) {
        FormulaStore formulas(*panel.connection);
        QVERIFY(formulas.remove(formulas.idOf("Смесь")).isDone());
    }
    panel.add(kind, what, entered.at(0), entered.at(1), pattern);
    QCOMPARE(panel.told.size(), 1);
    QCOMPARE(panel.rows(), QString("0"));
    // The same entry made whole is taken.
    if (formulaGone || what.isEmpty())
        return;
    panel.add(kind, what, "20", "2");
    QCOMPARE(panel.told.size(), 1);
    QCOMPARE(panel.rows(), QString("1"));
}

void tst_ScheduleWindow::waitingEntriesMoveAndGoInTheirPlaces()
{
    Panel panel;
    QSignalSpy changed(panel.window.get(), &ScheduleWindow::entryChanged);
    panel.add(FormulaKind, "Смесь", "10");
    panel.add(ProductKind, "Мука", "20");
    panel.add(FormulaKind, "Смесь", "30");
    QCOMPARE(panel.sizesShown(), QStringList({"10", "20", "30"}));
    // The product goes on the doser chosen.
    QCOMPARE(panel.records.select("SELECT deviceId FROM schedule WHERE size = '20'"),
             QStringList {"30"});

    auto *table = panel.find<QTableWidget>("scheduleTable");
    // A row is touched to select it.
    QVERIFY(table->rowHeight(0) >= TouchSize::minimumPixels(table->screen()));
    table->selectRow(0);
    panel.touch("downButton");
    QCOMPARE(panel.sizesShown(), QStringList({"20", "10", "30"}));
    // The moved entry stays selected, so it goes on down.
    panel.touch("downButton");
    QCOMPARE(panel.sizesShown(), QStringList({"20", "30", "10"}));
    table->selectRow(1);
    panel.touch("upButton");
    QCOMPARE(panel.sizesShown(), QStringList({"30", "20", "10"}));
    panel.touch("deleteButton");
    QCOMPARE(panel.sizesShown(), QStringList({"20", "10"}));
    QCOMPARE(panel.rows(), QString("2"));
    // For the journal: three added, three moves, each from where it stood, and the deletion.
    QCOMPARE(changed.size(), 7);
    for (int added = 0; added < 3; ++added)
        QVERIFY(changed.at(added).at(0).toString().isEmpty());
    for (int moved = 3; moved < 6; ++moved) {
        const QString before = changed.at(moved).at(0).toString();
        const QString after = changed.at(moved).at(1).toString();
        QVERIFY2(!before.isEmpty() && !after.isEmpty() && before != after, qPrintable(before));
    }
    QVERIFY(changed.at(6).at(0).toString().contains("30"));
    QVERIFY(changed.at(6).at(1).toString().isEmpty());

    // One that is over stays where it is and cannot be moved.
    ScheduleStore store(*panel.connection);
    const qint64 first = store.entries().first().id;
    QVERIFY(store.setState(first, ScheduleEntry::State::Refused, "причина").isDone());
    panel.window->reload();
    QCOMPARE(panel.sizesShown(), QStringList({"10", "20"}));
    table->selectRow(1);
    QVERIFY(!panel.find<QPushButton>("upButton")->isEnabled());
    QVERIFY(!panel.find<QPushButton>("deleteButton")->isEnabled());
    QCOMPARE(table->item(1, 5)->text(), QString("причина"));

    // An entry's lots: what will give them until its batches have them.
    const QList<ScheduleEntry> entries = store.entries();
    const qint64 mix = std::find_if(entries.cbegin(), entries.cend(), [](const auto &entry) {
                           return !entry.formulaName.isEmpty();
                       })->id;
    QCOMPARE(table->item(0, 2)->text(), QString("С-{NNN}"));
    for (const char *lot : {"С-001", "С-002"}) {
        QVERIFY(panel.records.exec("INSERT INTO butch (date, startTime, lot) VALUES "
                                   "('10.12.2026', '08:00', ?1)",
                                   {QString::fromUtf8(lot)}));
        QVERIFY(panel.records.exec("INSERT INTO scheduleButch (idButch, idEntry) VALUES "
                                   "((SELECT max(idButch) FROM butch), ?1)",
                                   {QString::number(mix)}));
    }
    panel.window->reload();
    QCOMPARE(table->item(0, 2)->text(), QString("С-001, С-002"));
}

void tst_ScheduleWindow::operatorReadsButCannotAdd()
{
    Panel panel;
    panel.add(FormulaKind, "Смесь", "10");
    QString problem;
    QVERIFY(panel.access->setPin(AccessLevel::Engineer, "9137", problem));
    QVERIFY(panel.access->setPin(AccessLevel::Technologist, "460215", problem));
    panel.access->leave();
    QVERIFY(!panel.find<QPushButton>("addButton")->isEnabled());
    // Nor does the schedule go on by itself at the operator's word.
    QVERIFY(!panel.find<QCheckBox>("automaticBox")->isEnabled());
    QVERIFY(panel.find<QLabel>("levelLabel")->isVisible());
    panel.add(FormulaKind, "Смесь", "20");
    QCOMPARE(panel.sizesShown(), QStringList({"10"}));
}

QTEST_MAIN(tst_ScheduleWindow)
#include "tst_schedulewindow.moc"
