#include "keyboardset.h"

#include <QCoreApplication>
#include <QList>

#include <utility>

namespace {

QList<QPointer<Keyboard>> &createdKeyboards()
{
    static QList<QPointer<Keyboard>> keyboards;
    return keyboards;
}

// Runs first thing in the application's destructor, while widgets may still be deleted.
void deleteCreatedKeyboards()
{
    const QList<QPointer<Keyboard>> keyboards = std::exchange(createdKeyboards(), {});
    for (const QPointer<Keyboard> &keyboard : keyboards)
        delete keyboard.data();
}

} // namespace

Keyboard *KeyboardSet::keyboard(Keyboard::Type type)
{
    QPointer<Keyboard> *slot = nullptr;
    if (type == Keyboard::NumericKeyboard)
        slot = &numeric;
    else if (type == Keyboard::FullsizeKeyboard)
        slot = &fullsize;
    else
        return nullptr;

    if (slot->isNull()) {
        *slot = Keyboard::create(type);
        if (createdKeyboards().isEmpty())
            qAddPostRoutine(deleteCreatedKeyboards);
        createdKeyboards().append(*slot);
    }
    return slot->data();
}
