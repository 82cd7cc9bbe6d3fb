#include "accesscontrol.h"
#include "consolerig.h"
#include "journal.h"
#include "k310_halvern.h"
#include "k310settings.h"
#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "plantlink.h"
#include "plantlinkdialog.h"
#include "product.h"
#include "rs232settings.h"

#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

namespace {

const QString EngineerPin = QStringLiteral("9137");
const QString TechnologistPin = QStringLiteral("460215");
const QString Yes = QStringLiteral("Да");
constexpr qint64 MinuteMs = 60 * 1000;
constexpr int KeyboardPollMs = 20;

// The PINs the operator types, one per request, and the titles of the requests.
struct PinPad
{
    QStringList typed;
    QStringList asked;
};

void answerPins(ConsoleRig &rig, PinPad &pad)
{
    ModalPrompts prompts = rig.operatorPrompts();
    prompts.enterPin = [&pad](QWidget *, const QString &title) -> std::optional<QString> {
        pad.asked << title;
        if (pad.typed.isEmpty())
            return std::nullopt;
        return pad.typed.takeFirst();
    };
    rig.console()->setPrompts(prompts);
}

template<typename Window>
Window *openWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<Window *>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

QString levelButton(ConsoleRig &rig)
{
    return rig.console()->findChild<QPushButton *>("accessButton")->text();
}

// The journal's rows of one kind, as their texts; written by the journal's thread.
QStringList journalTexts(ConsoleRig &rig, JournalEvent::Kind kind)
{
    return rig.records().select("SELECT text FROM event WHERE kind = ?1 ORDER BY idEvent",
                                {QString::number(kind)});
}

// Sets both PINs through the level button as the engineer does on a fresh installation, then
// starts the console anew.
void installPins(ConsoleRig &rig)
{
    rig.startConsole();
    QCOMPARE(levelButton(rig), QStringLiteral("Доступ: без PIN"));
    PinPad pad;
    answerPins(rig, pad);
    rig.operatorAtPanel().answer(
        QStringLiteral("Уровни доступа выключены: любой может менять настройки. Задайте PIN "
                       "наладчика, чтобы включить их."),
        QStringLiteral("PIN наладчика"));
    // Typed twice differently, the PIN is not set.
    pad.typed = QStringList {EngineerPin, "9138", EngineerPin, EngineerPin};
    rig.click("accessButton");
    QVERIFY(!rig.console()->accessControl().isEnabled());
    rig.click("accessButton");
    QCOMPARE(levelButton(rig), QStringLiteral("Уровень: Наладчик"));
    rig.operatorAtPanel().answer(QStringLiteral("Уровень доступа: «Наладчик»."),
                                 QStringLiteral("PIN технолога"));
    pad.typed = QStringList {TechnologistPin, TechnologistPin};
    rig.click("accessButton");
    QVERIFY(pad.typed.isEmpty());
    QTRY_COMPARE(journalTexts(rig, JournalEvent::PinChanged).size(), 2);
    rig.closeConsole();
    rig.startConsole();
    QCOMPARE(levelButton(rig), QStringLiteral("Уровень: Оператор"));
}

} // namespace

class tst_AccessLevels : public QObject
{
    Q_OBJECT

private slots:
    void productListRefusedAtOperatorOpensAfterTheRightPinOnly();
    void pinTypedOnTheNumericKeyboardOpensTheLineSettings();
    void plantLinkIsChangedByTheEngineerAndJournaledWithoutThePassword();
    void untouchedConsoleReturnsToOperatorAndATouchPostponesIt();
    void damagedLevelTableIsToldAndTheConsoleDosesAtOperator();
    void journalWindowFindsARowEditedBySql();
};

void tst_AccessLevels::productListRefusedAtOperatorOpensAfterTheRightPinOnly()
{
    ConsoleRig rig;
    installPins(rig);
    PinPad pad;
    answerPins(rig, pad);

    pad.typed = QStringList {"460216"};
    rig.click("statButton");
    QCOMPARE(pad.asked.size(), 1);
    QVERIFY(pad.asked.first().contains("Технолог"));
    QVERIFY(!openWindow<Product>());
    QCOMPARE(levelButton(rig), QStringLiteral("Уровень: Оператор"));
    QTRY_COMPARE(journalTexts(rig, JournalEvent::WrongPin).size(), 1);
    QVERIFY(!journalTexts(rig, JournalEvent::WrongPin).first().contains("460216"));

    // Giving up asks nothing more and opens nothing.
    rig.click("statButton");
    QVERIFY(!openWindow<Product>());

    pad.typed = QStringList {TechnologistPin};
    rig.click("statButton");
    QVERIFY(openWindow<Product>());
    QCOMPARE(levelButton(rig), QStringLiteral("Уровень: Технолог"));
    // Now allowed, it opens without a PIN; the line settings still need the engineer.
    const int asked = int(pad.asked.size());
    rig.click("statButton");
    QCOMPARE(pad.asked.size(), asked);
    rig.click("rs232SettingsButton");
    QCOMPARE(pad.asked.size(), asked + 1);
    QVERIFY(!openWindow<rs232Settings>());

    // A product added at that level is journaled with it.
    Product *products = openWindow<Product>();
    products->newProductName->setText(QStringLiteral("Пшеница"));
    products->addButton->click();
    QTRY_COMPARE(journalTexts(rig, JournalEvent::SettingChanged).size(), 1);
    const QString change = journalTexts(rig, JournalEvent::SettingChanged).first();
    QVERIFY2(change.startsWith("Технолог") && change.contains("Пшеница"), qPrintable(change));
}

void tst_AccessLevels::pinTypedOnTheNumericKeyboardOpensTheLineSettings()
{
    ConsoleRig rig;
    installPins(rig);
    // The operator's finger on the keyboard the console opens.
    std::function<void()> typePin;
    typePin = [&typePin] {
        if (!KeyboardDriver::openKeyboard()) {
            QTimer::singleShot(KeyboardPollMs, typePin);
            return;
        }
        KeyboardDriver::type(EngineerPin);
        KeyboardDriver::press("Enter");
    };
    QTimer::singleShot(KeyboardPollMs, typePin);
    rig.click("rs232SettingsButton");
    QVERIFY(openWindow<rs232Settings>());
    QCOMPARE(levelButton(rig), QStringLiteral("Уровень: Наладчик"));
}

void tst_AccessLevels::plantLinkIsChangedByTheEngineerAndJournaledWithoutThePassword()
{
    ConsoleRig rig;
    installPins(rig);
    PinPad pad;
    answerPins(rig, pad);
    // Anyone sees the link; changing it is the engineer's.
    rig.click("plantLinkButton");
    PlantLinkDialog *dialog = rig.console()->plantLinkDialogShown();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(pad.asked.isEmpty());
    const auto type = [dialog] {
        dialog->findChild<LineEditEmbedded *>("hostEdit")->acceptKeyboardText("broker.plant");
        dialog->findChild<LineEditEmbedded *>("userEdit")->acceptKeyboardText("line1");
        dialog->findChild<LineEditEmbedded *>("passwordEdit")->acceptKeyboardText("pa55word");
    };
    type();
    const auto storedHost = [] { return PlantLinkSettings::load(*k310Settings::makeStore()).host; };

    pad.typed = QStringList {TechnologistPin};
    dialog->findChild<QPushButton *>("saveButton")->click();
    QVERIFY(pad.asked.last().contains("Наладчик"));
    QVERIFY(storedHost().isEmpty());
    // Refused, the dialog shows the settings in force again.
    QVERIFY(dialog->settings().host.isEmpty());

    type();
    pad.typed = QStringList {EngineerPin};
    dialog->findChild<QPushButton *>("saveButton")->click();
    QCOMPARE(storedHost(), QStringLiteral("broker.plant"));
    QCOMPARE(rig.console()->plantLink().settings().host, QStringLiteral("broker.plant"));
    QTRY_VERIFY(!journalTexts(rig, JournalEvent::SettingChanged).isEmpty());
    const QString change = journalTexts(rig, JournalEvent::SettingChanged).last();
    QVERIFY2(change.startsWith("Наладчик") && change.contains("broker.plant")
                 && change.contains("line1") && !change.contains("pa55word"),
             qPrintable(change));
}

void tst_AccessLevels::untouchedConsoleReturnsToOperatorAndATouchPostponesIt()
{
    ConsoleRig rig;
    installPins(rig);
    qint64 now = 0;
    rig.console()->accessControl().setClock([&now] { return now; });
    PinPad pad;
    answerPins(rig, pad);
    pad.typed = QStringList {TechnologistPin};
    rig.click("statButton");
    QVERIFY(openWindow<Product>());

    now += 4 * MinuteMs;
    // A touch anywhere in the application, here the product list, starts the time again.
    QTest::mouseClick(openWindow<Product>()->productTable->viewport(), Qt::LeftButton);
    now += 4 * MinuteMs;
    rig.console()->accessControl().checkIdle();
    QCOMPARE(levelButton(rig), QStringLiteral("Уровень: Технолог"));

    now += MinuteMs;
    QTRY_COMPARE(levelButton(rig), QStringLiteral("Уровень: Оператор"));
    // Whoever touches the panel next finds the technologist's window closed.
    QVERIFY(!openWindow<Product>());
    QTRY_VERIFY(journalTexts(rig, JournalEvent::AccessLevelChanged).last().contains("5 мин"));
}

void tst_AccessLevels::damagedLevelTableIsToldAndTheConsoleDosesAtOperator()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    QVERIFY(rig.records().exec("CREATE TABLE accessPin (level INTEGER, note TEXT)"));
    QVERIFY(rig.records().exec("INSERT INTO accessPin VALUES (3, 'x')"));
    rig.operatorAtPanel().answer(QStringLiteral("Начать новую работу?"), Yes);
    rig.startConsole();
    PinPad pad;
    answerPins(rig, pad);
    QVERIFY(!rig.operatorAtPanel().shown.isEmpty());
    QVERIFY2(rig.operatorAtPanel().shown.first().contains("повреждена"),
             qPrintable(rig.operatorAtPanel().shown.first()));
    QCOMPARE(levelButton(rig), QStringLiteral("Уровень: Оператор"));
    rig.click("statButton");
    QVERIFY(pad.asked.isEmpty());
    QVERIFY(!openWindow<Product>());

    QTRY_VERIFY_WITH_TIMEOUT(!rig.text("doseFaultPlusK310_11").isEmpty(), ConsoleRig::ConnectedMs);
    rig.prepareBatch(QStringLiteral("Сахар"), QStringLiteral("2"));
    rig.click("startButton");
    QTRY_VERIFY_WITH_TIMEOUT(
        rig.operatorAtPanel().shown.contains(QStringLiteral("Задание выполнено")),
        ConsoleRig::BatchMs);
    QTRY_COMPARE(journalTexts(rig, JournalEvent::AccessProblem).size(), 1);
}

void tst_AccessLevels::journalWindowFindsARowEditedBySql()
{
    ConsoleRig rig;
    rig.startConsole();
    rig.enter("productWeightK310_11", "12");
    rig.enter("productWeightK310_11", "14");
    rig.click("journalButton");
    Journal *journal = openWindow<Journal>();
    QVERIFY(journal);
    journal->setPrompts(rig.operatorPrompts());
    journal->checkButton->click();
    QVERIFY2(rig.operatorAtPanel().shown.last().contains("цел"),
             qPrintable(rig.operatorAtPanel().shown.last()));

    const QString edited = rig.records()
                               .select("SELECT min(idEvent) FROM event WHERE kind = ?1",
                                       {QString::number(JournalEvent::SettingChanged)})
                               .value(0);
    QVERIFY(!edited.isEmpty());
    QVERIFY(rig.records().exec("UPDATE event SET text = 'без PIN: вес задания: было —, стало 1' "
                               "WHERE idEvent = ?1",
                               {edited}));
    journal->checkButton->click();
    QVERIFY2(rig.operatorAtPanel().shown.last().contains(QStringLiteral("№ %1").arg(edited)),
             qPrintable(rig.operatorAtPanel().shown.last()));
}

QTEST_MAIN(tst_AccessLevels)
#include "tst_accesslevels.moc"
