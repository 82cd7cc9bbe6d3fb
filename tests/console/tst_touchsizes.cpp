#include "consolerig.h"
#include "k310_halvern.h"
#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "texteditembedded.h"
#include "touchstyle.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTest>

namespace {

constexpr qreal FingerMillimetres = 9.0;

// Every visible push button of a shown window that is narrower or lower than a finger, or that
// its window cuts off.
QStringList smallButtons(QWidget *window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return {window->objectName() + " not shown"};
    const qreal dotsPerInch = window->screen()->physicalDotsPerInch();
    QStringList faults;
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (!button->isVisible() || button->window() != window)
            continue;
        const QSizeF millimetres = QSizeF(button->size()) * 25.4 / dotsPerInch;
        const QRect placed(button->mapTo(window, QPoint()), button->size());
        if (millimetres.width() < FingerMillimetres || millimetres.height() < FingerMillimetres
            || !window->rect().contains(placed))
            faults << QStringLiteral("%1/%2 \"%3\" %4x%5 at %6,%7")
                          .arg(window->metaObject()->className(), button->objectName(),
                               button->text())
                          .arg(button->width())
                          .arg(button->height())
                          .arg(placed.x())
                          .arg(placed.y());
    }
    return faults;
}

// The window, every message box it keeps for the operator and the keyboards its fields open.
QStringList smallButtonsWithBoxes(QWidget *window, QSet<int> &keyboardsSeen)
{
    QStringList faults = smallButtons(window);
    for (QMessageBox *box : window->findChildren<QMessageBox *>()) {
        box->setText(QStringLiteral("Последнее задание не завершено. Восстановить данные?"));
        faults << smallButtons(box);
        box->hide();
    }
    for (LineEditEmbedded *field : window->findChildren<LineEditEmbedded *>()) {
        if (!field->isVisible() || !field->isEnabled())
            continue;
        QTest::mouseClick(field, Qt::LeftButton);
        auto *keyboard = qobject_cast<Keyboard *>(KeyboardDriver::openKeyboard());
        if (!keyboard)
            return faults << field->objectName() + " opens no keyboard";
        keyboardsSeen << keyboard->keyboardType();
        faults << smallButtons(keyboard);
        keyboard->reject();
    }
    return faults;
}

QWidget *shownWindowOtherThan(const QWidget *console)
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != console && window->isVisible() && !qobject_cast<QMessageBox *>(window))
            return window;
    }
    return nullptr;
}

// The description editor's replace question, measured where the operator would answer it.
class MeasuredDescription : public TextEditEmbedded
{
public:
    QStringList faults;

protected:
    void askQuestion(QMessageBox &question) override { faults = smallButtons(&question); }
};

} // namespace

class tst_TouchSizes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyButtonOfEveryWindowAndBoxIsAFingerWide();
};

void tst_TouchSizes::initTestCase()
{
    TouchStyle::install();
    const qreal dotsPerInch = QGuiApplication::primaryScreen()->physicalDotsPerInch();
    QVERIFY2(dotsPerInch >= 90 && dotsPerInch <= 110, qPrintable(QString::number(dotsPerInch)));
}

void tst_TouchSizes::everyButtonOfEveryWindowAndBoxIsAFingerWide()
{
    ConsoleRig rig;
    K310_Halvern *console = rig.startConsole();
    // A start with nothing prepared is refused with a report, for which the console makes its
    // question and report boxes.
    rig.click("startButton");
    QCOMPARE(rig.operatorAtPanel().shown.size(), 1);
    QSet<int> keyboardsSeen;
    QStringList faults = smallButtonsWithBoxes(console, keyboardsSeen);

    const char *openers[] = {"rs232SettingsButton", "k310SettingsButton", "statButton",
                             "statButton_2",        "journalButton",      "receiptEditorButton"};
    for (const char *opener : openers) {
        rig.click(opener);
        QWidget *window = shownWindowOtherThan(console);
        QVERIFY2(window, opener);
        faults << smallButtonsWithBoxes(window, keyboardsSeen);
        if (auto *create =
                window->findChild<QPushButton *>(QStringLiteral("createReceiptButton"))) {
            create->click();
            window->hide();
            window = shownWindowOtherThan(console);
            QVERIFY(window);
            faults << smallButtonsWithBoxes(window, keyboardsSeen);
        }
        window->hide();
    }
    QCOMPARE(keyboardsSeen, QSet<int>({Keyboard::NumericKeyboard, Keyboard::FullsizeKeyboard}));

    QFileDialog files(console, QStringLiteral("Сохранить"), QString(), QStringLiteral("*.csv"));
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptSave);
    faults << smallButtons(&files);
    files.hide();

    MeasuredDescription description;
    description.setPlainText(QStringLiteral("Старое описание"));
    description.applyText(QStringLiteral("Новое описание"));
    faults << description.faults;

    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
}

QTEST_MAIN(tst_TouchSizes)
#include "tst_touchsizes.moc"
