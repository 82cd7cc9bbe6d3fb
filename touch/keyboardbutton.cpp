#include "keyboardbutton.h"

#include "keyboard.h"

#include <QMouseEvent>

bool KeyboardButton::keyPressConsumed = false;

KeyboardButton::KeyboardButton(const QString &keyCharacters, Keyboard *keyboard)
    : QPushButton(keyboard)
    , keyboard(keyboard)
{
    static_assert(std::tuple_size_v<decltype(characters)> == Keyboard::ModeCount);
    for (int mode = 0; mode < Keyboard::ModeCount && mode < keyCharacters.size(); ++mode)
        characters[mode] = keyCharacters.at(mode);
    setFocusPolicy(Qt::NoFocus);
    setAutoDefault(false);
    setMinimumSize(1, 1);
}

QChar KeyboardButton::character(int mode) const
{
    if (mode < 0 || mode >= Keyboard::ModeCount)
        return QChar();
    return characters[mode];
}

void KeyboardButton::showCharacter(int mode)
{
    const QChar shown = character(mode);
    // A lone ampersand would be taken for a mnemonic marker and not drawn.
    setText(shown == u'&' ? QStringLiteral("&&") : QString(shown));
    setVisible(!shown.isNull());
}

// The button runs its hit test on the press, on every movement of the held finger and on the
// release; the first test while the key is down types the character.
bool KeyboardButton::hitButton(const QPoint &pos) const
{
    if (isDown()) {
        if (!keyPressConsumed) {
            keyPressConsumed = true;
            keyboard->insertCharacter(character(keyboard->keyboardMode()));
        }
    } else if (!pressHeld) {
        keyPressConsumed = false;
    }
    return QPushButton::hitButton(pos);
}

void KeyboardButton::mousePressEvent(QMouseEvent *event)
{
    QPushButton::mousePressEvent(event);
    pressHeld = isDown();
}

void KeyboardButton::mouseReleaseEvent(QMouseEvent *event)
{
    QPushButton::mouseReleaseEvent(event);
    pressHeld = false;
}

#include "moc_keyboardbutton.cpp"
