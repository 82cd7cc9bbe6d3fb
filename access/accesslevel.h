#ifndef ACCESSLEVEL_H
#define ACCESSLEVEL_H

#include <QString>

// Each level may do what the one below it may, and more. Stored by number in data.db and the
// journal: never renumber.
enum class AccessLevel : int {
    // Batches and manual control.
    Operator = 1,
    // Also products, recipes, tolerances and the dose options.
    Technologist = 2,
    // Also the serial line, the doser's address, simulation mode and the levels' PINs.
    Engineer = 3,
};

// The operator's name of a level ("Оператор", ...); empty for a number that names none.
QString accessLevelCaption(AccessLevel level);
// The level of a stored number; false when the number names none.
bool accessLevelFromNumber(int number, AccessLevel &level);

#endif // ACCESSLEVEL_H
