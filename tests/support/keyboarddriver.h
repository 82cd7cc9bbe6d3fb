#ifndef KEYBOARDDRIVER_H
#define KEYBOARDDRIVER_H

#include <QString>

class QAbstractButton;
class QDialog;

// Plays the operator's finger on whichever on-screen keyboard is open: a press and a release
// per key, delivered as mouse events.
class KeyboardDriver
{
public:
    // The visible on-screen keyboard, or null when none is open.
    static QDialog *openKeyboard();
    // The visible button of the open keyboard showing that label ("Enter", "Shift", "й", "&"),
    // or with that object name (the cursor buttons: "leftButton", ...).
    static QAbstractButton *button(const QString &label);
    static bool press(const QString &label);
    // Types every character with the key that shows it in the keyboard's current mode.
    static bool type(const QString &text);
    static QString displayText();
};

#endif // KEYBOARDDRIVER_H
