#include "keyboardswitchwidget.h"

#include "keyboardset.h"

namespace {

constexpr char KeyboardTitle[] = "Title";

KeyboardSet &switchKeyboards()
{
    static KeyboardSet keyboards;
    return keyboards;
}

} // namespace

KeyboardSwitchWidget::KeyboardSwitchWidget(QWidget *parent)
    : QWidget(parent)
{
    setType(Keyboard::NumericKeyboard);
}

void KeyboardSwitchWidget::setType(Keyboard::Type type)
{
    keyboardKind = type;
    switchKeyboards().keyboard(Keyboard::NumericKeyboard);
    switchKeyboards().keyboard(Keyboard::FullsizeKeyboard);
    selectedKeyboard = switchKeyboards().keyboard(type);
}

// A widget whose focus proxy is this one reports having the focus; each such widget hands the
// focus on to its parent and gets the keyboard.
void KeyboardSwitchWidget::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    QWidget *parent = parentWidget();
    if (!parent || opening)
        return;
    opening = true;
    const QList<QWidget *> widgets = parent->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (widget == this || !widget->hasFocus())
            continue;
        if (QWidget *widgetParent = widget->parentWidget())
            widgetParent->setFocus();
        if (selectedKeyboard)
            selectedKeyboard->openForWidget(widget, QString::fromLatin1(KeyboardTitle));
    }
    opening = false;
}

#include "moc_keyboardswitchwidget.cpp"
