// The formula window by touch alone: a mix entered on the keyboards and lists is saved, one the
// plan refuses leaves data.db as it was, and the level Оператор reads without changing.
#include "accesscontrol.h"
#include "accessstore.h"
#include "databackup.h"
#include "database.h"
#include "formulastore.h"
#include "formulawindow.h"
#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "scriptedoperator.h"
#include "temporarydatabase.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <memory>

namespace {

const QString EngineerPin = QStringLiteral("9137");
const QString TechnologistPin = QStringLiteral("460215");

const QList<LineCapacity> Line = {
    {30, 50, 2, true, QStringLiteral("Мука-1")},
    {31, 30, 2, true, QString()},
    {32, 5, 3, true, QString()},
};

// data.db with products, the console's access control on it, and the window on both.
class Panel
{
public:
    Panel()
    {
        records.createTables();
        for (const char *product : {"Мука", "Сахар", "Соль"})
            records.exec("INSERT INTO product (productName) VALUES (?1)",
                         {QString::fromUtf8(product)});
        accessFile = std::make_unique<Database>(records.path());
        accessStore = std::make_unique<AccessStore>(*accessFile);
        access = std::make_unique<AccessControl>(*accessStore);
    }

    // PINs set, and back at Оператор.
    bool lockToOperator()
    {
        QString problem;
        const bool set = access->setPin(AccessLevel::Engineer, EngineerPin, problem)
                         && access->setPin(AccessLevel::Technologist, TechnologistPin, problem);
        access->leave();
        return set && !access->allows(AccessLevel::Technologist);
    }

    FormulaWindow &open()
    {
        window = std::make_unique<FormulaWindow>(records.path(), Line, *access);
        window->setPrompts(person.prompts());
        window->show();
        return *window;
    }

    // Flour and sugar, 70 to 30, in data.db as if saved earlier.
    bool storeMix(const QString &name)
    {
        Formula stored;
        stored.name = name;
        stored.baseSize = 200;
        stored.components = {{QStringLiteral("Мука"), 30, 70, 0.5, 0.5, 1},
                             {QStringLiteral("Сахар"), 31, 30, 0.3, 0.3, 1}};
        Database database(records.path());
        return FormulaStore(database).save(stored).isDone();
    }

    template<typename Widget>
    Widget *find(const char *name)
    {
        return window->findChild<Widget *>(QString::fromLatin1(name));
    }

    bool formulaTablesExist()
    {
        return !records
                    .select("SELECT name FROM sqlite_master WHERE name IN ('formula', "
                            "'formulaComponent')")
                    .isEmpty();
    }

    TemporaryDatabase records;
    std::unique_ptr<Database> accessFile;
    std::unique_ptr<AccessStore> accessStore;
    std::unique_ptr<AccessControl> access;
    std::unique_ptr<FormulaWindow> window;
    ScriptedOperator person;
    // What the message boxes said.
    QStringList &told = person.asked;
};

void enter(Panel &panel, const char *field, const QString &text, bool capital = false)
{
    QTest::mouseClick(panel.find<LineEditEmbedded>(field), Qt::LeftButton);
    QVERIFY(KeyboardDriver::openKeyboard());
    if (capital)
        QVERIFY(KeyboardDriver::press(QStringLiteral("Shift")));
    QVERIFY(KeyboardDriver::type(text));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QVERIFY(!KeyboardDriver::openKeyboard());
}

// Opens the list and touches the row showing the text.
void choose(Panel &panel, const char *list, const QString &text)
{
    auto *box = panel.find<QComboBox>(list);
    QTest::mouseClick(box, Qt::LeftButton);
    QAbstractItemView *rows = box->view();
    QTRY_VERIFY(rows->isVisible());
    const int row = box->findText(text);
    QVERIFY2(row >= 0, qPrintable(text));
    const QRect shown = rows->visualRect(box->model()->index(row, 0));
    // The finger slides onto the row before it lifts, as the list expects of a touch.
    QTest::mouseMove(rows->viewport(), shown.center());
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, shown.center());
    QTRY_VERIFY(!rows->isVisible());
    QCOMPARE(box->currentText(), text);
}

void touch(Panel &panel, const char *button)
{
    QTest::mouseClick(panel.find<QAbstractButton>(button), Qt::LeftButton);
}

struct Entered
{
    QString product;
    QString doser;
    QString amount;
    QString tolerance;
    bool byWeight = false;
};

void addComponent(Panel &panel, const Entered &component)
{
    choose(panel, "productBox", component.product);
    choose(panel, "doserBox", component.doser);
    if (panel.find<QCheckBox>("byWeightBox")->isChecked() != component.byWeight)
        touch(panel, "byWeightBox");
    enter(panel, "shareField", component.amount);
    enter(panel, "plusField", component.tolerance);
    enter(panel, "minusField", component.tolerance);
    touch(panel, "addComponentButton");
}

void touchFormula(Panel &panel, const QString &name)
{
    auto *list = panel.find<QListWidget>("formulaList");
    const QList<QListWidgetItem *> items = list->findItems(name, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(items.first()).center());
}

} // namespace

class tst_FormulaWindow : public QObject
{
    Q_OBJECT

private slots:
    void mixEnteredByTouchAloneIsSavedWithTheWeightAsItsShare();
    void refusedFormulaWritesNothingUntilItIsSound();
    void operatorReadsFormulasButChangesNothing();
    void editsAreOfferedForSavingBeforeTheFormulaIsLeft();
};

void tst_FormulaWindow::mixEnteredByTouchAloneIsSavedWithTheWeightAsItsShare()
{
    Panel panel;
    FormulaWindow &window = panel.open();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy changed(&window, &FormulaWindow::formulaChanged);
    auto *sum = panel.find<QLabel>("shareSumLabel");

    enter(panel, "nameField", QStringLiteral("Смесь-2"), true);
    enter(panel, "baseSizeField", QStringLiteral("300"));
    // The sum follows every component as it is added.
    QStringList sums;
    addComponent(panel, {QStringLiteral("Мука"), QStringLiteral("Мука-1 (30)"), "60", "0.5"});
    sums << sum->text();
    addComponent(panel, {QStringLiteral("Сахар"), QStringLiteral("Дозатор 31"), "35", "0.3"});
    sums << sum->text();
    // 15 kg of salt in 300 kg.
    addComponent(panel, {QStringLiteral("Соль"), QStringLiteral("Дозатор 32"), "15", "0.02", true});
    sums << sum->text();
    QVERIFY2(sums.at(0).contains("60") && sums.at(1).contains("95") && sums.at(2).contains("100")
                 && !sums.at(2).contains("95"),
             qPrintable(sums.join(" | ")));
    QCOMPARE(panel.find<QTableWidget>("componentTable")->rowCount(), 3);
    if (const QString output = qEnvironmentVariable("K310_TEST_OUTPUT");
        !output.isEmpty() && QDir().mkpath(output))
        window.grab().save(output + "/formulas.png");
    touch(panel, "saveButton");

    QVERIFY2(panel.told.isEmpty(), qPrintable(panel.told.join('\n')));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first(), QVariantList({QString(), QStringLiteral("Смесь-2")}));
    Database database(panel.records.path());
    const std::optional<Formula> saved =
        FormulaStore(database).loadByName(QStringLiteral("Смесь-2"));
    QVERIFY(saved);
    QCOMPARE(saved->baseSize, 300.0);
    const QList<int> dosers {30, 31, 32};
    const QList<double> shares {60, 35, 5};
    const QList<double> tolerances {0.5, 0.3, 0.02};
    QCOMPARE(saved->components.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const FormulaComponent &component = saved->components.at(i);
        QCOMPARE(component.doser, dosers.at(i));
        QCOMPARE(component.share, shares.at(i));
        QCOMPARE(component.plusTolerance, tolerances.at(i));
        QCOMPARE(component.minusTolerance, tolerances.at(i));
    }
    QCOMPARE(saved->components.at(2).product, QStringLiteral("Соль"));
    QCOMPARE(panel.find<QListWidget>("formulaList")->count(), 1);
    touch(panel, "closeButton");
    QVERIFY(window.isHidden());
}

void tst_FormulaWindow::refusedFormulaWritesNothingUntilItIsSound()
{
    Panel panel;
    FormulaWindow &window = panel.open();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy changed(&window, &FormulaWindow::formulaChanged);

    enter(panel, "nameField", QStringLiteral("Смесь-3"), true);
    enter(panel, "baseSizeField", QStringLiteral("300"));
    addComponent(panel, {QStringLiteral("Мука"), QStringLiteral("Мука-1 (30)"), "60", "0.5"});
    touch(panel, "saveButton");

    QCOMPARE(panel.told.size(), 1);
    QVERIFY(!panel.told.first().section(" | ", 1).isEmpty());
    QVERIFY(changed.isEmpty());
    QVERIFY(!panel.formulaTablesExist());
    QVERIFY(DataBackup(panel.records.path()).copies().isEmpty());

    // The rest of the mix makes it sound: saved, after a copy of the file of records.
    addComponent(panel, {QStringLiteral("Сахар"), QStringLiteral("Дозатор 31"), "40", "0.3"});
    touch(panel, "saveButton");
    QCOMPARE(panel.told.size(), 1);
    QCOMPARE(changed.size(), 1);
    QVERIFY(panel.formulaTablesExist());
    QCOMPARE(DataBackup(panel.records.path()).copies().size(), 1);
}

void tst_FormulaWindow::operatorReadsFormulasButChangesNothing()
{
    Panel panel;
    QVERIFY(panel.lockToOperator());
    const QString stored = QStringLiteral("Смесь-4");
    QVERIFY(panel.storeMix(stored));
    FormulaWindow &window = panel.open();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    touchFormula(panel, stored);
    QCOMPARE(panel.find<LineEditEmbedded>("nameField")->text(), stored);
    QCOMPARE(panel.find<QTableWidget>("componentTable")->rowCount(), 2);
    auto *reason = panel.find<QLabel>("levelLabel");
    QVERIFY(reason->isVisible());
    QVERIFY(!reason->text().isEmpty());
    for (const char *control :
         {"saveButton", "deleteButton", "newButton", "addComponentButton", "removeComponentButton"})
        QVERIFY2(!panel.find<QWidget>(control)->isEnabled(), control);
    // A touch on a field opens no keyboard, and nothing reaches data.db.
    QTest::mouseClick(panel.find<LineEditEmbedded>("nameField"), Qt::LeftButton);
    QVERIFY(!KeyboardDriver::openKeyboard());
    touch(panel, "deleteButton");
    QVERIFY(panel.told.isEmpty());
    QCOMPARE(panel.records.select("SELECT count(*) FROM formula"), QStringList {"1"});

    // The technologist's PIN opens the same window for changes.
    QCOMPARE(panel.access->enter(TechnologistPin, AccessLevel::Technologist),
             AccessControl::Entry::Granted);
    QVERIFY(panel.find<QWidget>("saveButton")->isEnabled());
    QVERIFY(reason->isHidden());
    touch(panel, "deleteButton");
    QCOMPARE(panel.told.size(), 1);
    QCOMPARE(panel.records.select("SELECT count(*) FROM formula"), QStringList {"0"});
}

void tst_FormulaWindow::editsAreOfferedForSavingBeforeTheFormulaIsLeft()
{
    Panel panel;
    const QString stored = QStringLiteral("Смесь-5");
    QVERIFY(panel.storeMix(stored));
    FormulaWindow &window = panel.open();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto baseSize = [&panel] {
        return panel.records.select("SELECT baseSize FROM formula").value(0).toDouble();
    };

    // Looked at and left alone: nothing is asked.
    touchFormula(panel, stored);
    touch(panel, "newButton");
    QVERIFY(panel.told.isEmpty());

    // Changed, then left for a new one: the operator's "Да" saves it first.
    touchFormula(panel, stored);
    enter(panel, "baseSizeField", QStringLiteral("250"));
    touch(panel, "newButton");
    QCOMPARE(panel.told.size(), 1);
    QCOMPARE(baseSize(), 250.0);
    QVERIFY(panel.find<LineEditEmbedded>("nameField")->text().isEmpty());

    // A change data.db would refuse keeps the formula on the screen, and so does "Закрыть".
    touchFormula(panel, stored);
    auto *components = panel.find<QTableWidget>("componentTable");
    QTest::mouseClick(components->viewport(), Qt::LeftButton, {},
                      components->visualItemRect(components->item(1, 0)).center());
    touch(panel, "removeComponentButton");
    touch(panel, "closeButton");
    QVERIFY(window.isVisible());
    QCOMPARE(panel.find<LineEditEmbedded>("nameField")->text(), stored);
    QCOMPARE(panel.records.select("SELECT count(*) FROM formulaComponent"), QStringList {"2"});
}

QTEST_MAIN(tst_FormulaWindow)
#include "tst_formulawindow.moc"
