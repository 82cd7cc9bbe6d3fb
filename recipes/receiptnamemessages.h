#ifndef RECEIPTNAMEMESSAGES_H
#define RECEIPTNAMEMESSAGES_H

#include <QString>
#include <QStringView>

// What the recipe windows tell the operator about a recipe name they refuse. The character list
// of the last one is the operator's familiar text; every character of the store's list, and any
// control character, is refused all the same.
inline constexpr QStringView ReceiptMessageTitle = u"Рецепт";
inline constexpr QStringView EmptyReceiptNameMessage = u"Название рецепта не должно быть пустым";
inline constexpr QStringView ForbiddenCharactersMessage =
    u"Символы \\ / : * ? \" > | в названии рецепта не допустимы";

inline QString receiptExistsMessage(const QString &name)
{
    return QStringLiteral("Рецепт с названием \"") + name + QStringLiteral("\" существует");
}

#endif // RECEIPTNAMEMESSAGES_H
