#ifndef RECEIPTDESCRIPTION_H
#define RECEIPTDESCRIPTION_H

#include <QStringView>

// Stands for an absent recipe description: shown by the description editors, and stored as the
// description when the operator clears it.
inline constexpr QStringView ReceiptDescriptionPlaceholder =
    u"Описание рецепта отсутствует. Для добавления описания нажмите на это поле.";

#endif // RECEIPTDESCRIPTION_H
