#include "keyboarddriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTextEdit>

QDialog *KeyboardDriver::openKeyboard()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->isVisible() && window->inherits("Keyboard"))
            return qobject_cast<QDialog *>(window);
    }
    return nullptr;
}

QAbstractButton *KeyboardDriver::button(const QString &label)
{
    QDialog *keyboard = openKeyboard();
    if (!keyboard)
        return nullptr;
    const QList<QAbstractButton *> buttons = keyboard->findChildren<QAbstractButton *>();
    for (QAbstractButton *candidate : buttons) {
        if (!candidate->isVisible())
            continue;
        QString shown = candidate->text();
        shown.replace(QLatin1String("&&"), QLatin1String("&"));
        if (shown == label || candidate->objectName() == label)
            return candidate;
    }
    return nullptr;
}

bool KeyboardDriver::press(const QString &label)
{
    QAbstractButton *target = button(label);
    if (!target)
        return false;
    QTest::mouseClick(target, Qt::LeftButton);
    return true;
}

bool KeyboardDriver::type(const QString &text)
{
    for (QChar character : text) {
        if (!press(QString(character)))
            return false;
    }
    return true;
}

QString KeyboardDriver::displayText()
{
    QDialog *keyboard = openKeyboard();
    const auto *display =
        keyboard ? keyboard->findChild<QTextEdit *>(QStringLiteral("display")) : nullptr;
    return display ? display->toPlainText() : QString();
}
