#ifndef KEYBOARDSWITCHWIDGET_H
#define KEYBOARDSWITCHWIDGET_H

#include "keyboard.h"

#include <QPointer>
#include <QWidget>

// Opens the on-screen keyboard for ordinary widgets that make it their focus proxy: when one of
// them takes the focus, the keyboard opens for it and Enter writes the text into it.
class KeyboardSwitchWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(Keyboard::Type type READ type WRITE setType)

public:
    explicit KeyboardSwitchWidget(QWidget *parent = nullptr);

    Keyboard::Type type() const { return keyboardKind; }
    void setType(Keyboard::Type type);
    Keyboard *keyboard() const { return selectedKeyboard; }

protected:
    void focusInEvent(QFocusEvent *event) override;

private:
    Keyboard::Type keyboardKind = Keyboard::NumericKeyboard;
    QPointer<Keyboard> selectedKeyboard;
    bool opening = false;
};

#endif // KEYBOARDSWITCHWIDGET_H
