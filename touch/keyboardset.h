#ifndef KEYBOARDSET_H
#define KEYBOARDSET_H

#include "keyboard.h"

#include <QPointer>

// The keyboards one class of fields shares: one of each kind, created when first asked for and
// kept for the rest of the run. Fields never delete them; they go when the application ends.
class KeyboardSet
{
public:
    // The keyboard of that kind, created when missing; null for a value that names no kind.
    Keyboard *keyboard(Keyboard::Type type);

private:
    QPointer<Keyboard> numeric;
    QPointer<Keyboard> fullsize;
};

#endif // KEYBOARDSET_H
