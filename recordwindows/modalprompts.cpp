#include "modalprompts.h"

#include "keyboard.h"
#include "keyboardopener.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <functional>
#include <memory>

namespace {

// A keyboard of its own, modal over the window that asks, run to its end; what it accepted.
std::optional<QString> runKeyboard(Keyboard::Type type, QWidget *parent,
                                   const std::function<void(Keyboard &)> &open)
{
    const std::unique_ptr<Keyboard> keyboard(Keyboard::create(type));
    if (!keyboard)
        return std::nullopt;
    if (parent)
        keyboard->setWindowModality(Qt::ApplicationModal);
    std::optional<QString> entered;
    QObject::connect(keyboard.get(), &Keyboard::textEntered, keyboard.get(),
                     [&entered](const QString &text) { entered = text; });
    open(*keyboard);
    keyboard->exec();
    return entered;
}

} // namespace

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
    return runKeyboard(Keyboard::NumericKeyboard, parent, [&title](Keyboard &keyboard) {
        keyboard.openForWidget(nullptr, title, Keyboard::Echo::Concealed);
    });
}

std::optional<QString> ModalPrompts::standardEnterText(QWidget *parent, const QString &title,
                                                       const QString &text)
{
    return runKeyboard(Keyboard::FullsizeKeyboard, parent, [&title, &text](Keyboard &keyboard) {
        keyboard.openForEditor(nullptr, title, text);
    });
}
