#include "modalprompts.h"

#include "keyboard.h"
#include "keyboardopener.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <memory>

QString ModalPrompts::standardSaveFileName(QWidget *parent, const QString &caption,
                                           const QString &filter)
{
    return standardSaveFileAs(parent, caption, QString(), filter);
}

QString ModalPrompts::standardSaveFileAs(QWidget *parent, const QString &caption,
                                         const QString &suggestedName, const QString &filter)
{
    QFileDialog dialog(parent, caption, suggestedName, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Qt's own dialog on every system, so that a touch on its name field opens the on-screen
    // keyboard: the panel has no other.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    KeyboardOpener::attach(dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")),
                           Keyboard::FullsizeKeyboard, caption);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QAbstractButton *ModalPrompts::standardRunBox(QMessageBox *box)
{
    // The box remembers the button of an earlier question; only a click on this one counts.
    QAbstractButton *clicked = nullptr;
    const QMetaObject::Connection watch =
        QObject::connect(box, &QMessageBox::buttonClicked, box,
                         [&clicked](QAbstractButton *button) { clicked = button; });
    box->exec();
    QObject::disconnect(watch);
    return clicked;
}

std::optional<QString> ModalPrompts::standardEnterPin(QWidget *parent, const QString &title)
{
    // A keyboard of its own, so the PIN never passes through a field another window shares.
    const std::unique_ptr<Keyboard> keyboard(Keyboard::create(Keyboard::NumericKeyboard));
    if (!keyboard)
        return std::nullopt;
    if (parent)
        keyboard->setWindowModality(Qt::ApplicationModal);
    std::optional<QString> entered;
    QObject::connect(keyboard.get(), &Keyboard::textEntered, keyboard.get(),
                     [&entered](const QString &text) { entered = text; });
    keyboard->openForWidget(nullptr, title, Keyboard::Echo::Concealed);
    keyboard->exec();
    return entered;
}

std::optional<QString> ModalPrompts::standardEnterText(QWidget *parent, const QString &title,
                                                       const QString &text)
{
    const std::unique_ptr<Keyboard> keyboard(Keyboard::create(Keyboard::FullsizeKeyboard));
    if (!keyboard)
        return std::nullopt;
    if (parent)
        keyboard->setWindowModality(Qt::ApplicationModal);
    std::optional<QString> entered;
    QObject::connect(keyboard.get(), &Keyboard::textEntered, keyboard.get(),
                     [&entered](const QString &typed) { entered = typed; });
    keyboard->openForEditor(nullptr, title, text);
    keyboard->exec();
    return entered;
}
