#include "keyboardopener.h"

#include "keyboardset.h"

#include <QEvent>
#include <QLineEdit>

namespace {

KeyboardSet &openerKeyboards()
{
    static KeyboardSet keyboards;
    return keyboards;
}

} // namespace

KeyboardOpener::KeyboardOpener(QLineEdit *field, Keyboard::Type type, const QString &title)
    : QObject(field)
    , field(field)
    , type(type)
    , title(title)
{
    field->installEventFilter(this);
}

void KeyboardOpener::attach(QLineEdit *field, Keyboard::Type type, const QString &title)
{
    if (field)
        new KeyboardOpener(field, type, title);
}

bool KeyboardOpener::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != field)
        return false;
    if (event->type() == QEvent::MouseButtonDblClick)
        return true;
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    if (Keyboard *keyboard = openerKeyboards().keyboard(type))
        keyboard->openForWidget(field, title);
    return true;
}

#include "moc_keyboardopener.cpp"
