#include "consolerig.h"
#include "k310_halvern.h"
#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "texteditembedded.h"
#include "touchstyle.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTimer>

namespace {

// The visible push buttons of a shown window below 9 mm a side, or cut off by the window.
QStringList smallButtons(QWidget *window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return {window->objectName() + " not shown"};
    const qreal pixelsPerMillimetre = window->screen()->physicalDotsPerInch() / 25.4;
    QStringList faults;
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        const QRect placed(button->mapTo(window, QPoint()), button->size());
        if (button->isVisible() && button->window() == window
            && (qMin(button->width(), button->height()) < 9 * pixelsPerMillimetre
                || !window->rect().contains(placed)))
            faults << QStringLiteral("%1 \"%2\" %3x%4")
                          .arg(window->metaObject()->className(), button->text(),
                               QString::number(button->width()), QString::number(button->height()));
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
    void everyButtonOfEveryWindowAndBoxIsAFingerWide();
};

void tst_TouchSizes::everyButtonOfEveryWindowAndBoxIsAFingerWide()
{
    TouchStyle::install();
    QVERIFY(qAbs(QGuiApplication::primaryScreen()->physicalDotsPerInch() - 96) < 10);
    ConsoleRig rig;
    K310_Halvern *console = rig.startConsole();
    // A start with nothing prepared is refused with a report, for which the console makes its
    // question and report boxes.
    rig.click("startButton");
    QSet<int> keyboardsSeen;
    QStringList faults = smallButtonsWithBoxes(console, keyboardsSeen);

    for (const char *opener :
         {"rs232SettingsButton", "k310SettingsButton", "statButton", "statButton_2",
          "journalButton", "receiptEditorButton", "trendButton"}) {
        rig.click(opener);
        QWidget *window = shownWindowOtherThan(console);
        QVERIFY2(window, opener);
        faults << smallButtonsWithBoxes(window, keyboardsSeen);
        if (auto *create = window->findChild<QPushButton *>("createReceiptButton")) {
            create->click();
            window->hide();
            window = shownWindowOtherThan(console);
            faults << smallButtonsWithBoxes(window, keyboardsSeen);
        }
        if (auto *options = window->findChild<QPushButton *>("doseOptionsButton")) {
            options->click();
            auto *dialog = window->findChild<QDialog *>("doseOptionsForm");
            QVERIFY(dialog && dialog->isVisible());
            faults << smallButtonsWithBoxes(dialog, keyboardsSeen);
            dialog->hide();
        }
        window->hide();
    }
    QCOMPARE(console->findChildren<QMessageBox *>().size(), 2);
    QCOMPARE(keyboardsSeen, QSet<int>({Keyboard::NumericKeyboard, Keyboard::FullsizeKeyboard}));

    // The save dialog of the statistics and the journal.
    QTimer::singleShot(0, console, [&faults] {
        faults << smallButtons(QApplication::activeModalWidget());
        QApplication::activeModalWidget()->close();
    });
    ModalPrompts::standardSaveFileName(console, QStringLiteral("Сохранить"), "CSV (*.csv)");

    MeasuredDescription description;
    description.setPlainText(QStringLiteral("Старое описание"));
    description.applyText(QStringLiteral("Новое описание"));
    QVERIFY2((faults << description.faults).isEmpty(), qPrintable(faults.join('\n')));
}

QTEST_MAIN(tst_TouchSizes)
#include "tst_touchsizes.moc"
