#ifndef KEYBOARDBUTTON_H
#define KEYBOARDBUTTON_H

#include <QPushButton>

#include <array>

class Keyboard;

// One character key of the on-screen keyboard: a character per keyboard mode, typed once per
// press however the finger moves on it.
class KeyboardButton : public QPushButton
{
    Q_OBJECT

public:
    // keyCharacters: one per mode, in mode order; missing ones are null (the key is then hidden).
    KeyboardButton(const QString &keyCharacters, Keyboard *keyboard);

    QChar character(int mode) const;
    // Shows the key's character for the mode, or hides the key when it has none.
    void showCharacter(int mode);

    // Set once the held key has typed its character; cleared when a new press begins.
    static bool keyPressConsumed;

protected:
    bool hitButton(const QPoint &pos) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::array<QChar, 8> characters {};
    Keyboard *keyboard;
    // True from the press to the release, also while the finger is off the key.
    bool pressHeld = false;
};

#endif // KEYBOARDBUTTON_H
