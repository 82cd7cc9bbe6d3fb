#ifndef ACCESSSTORE_H
#define ACCESSSTORE_H

#include "accesslevel.h"
#include "pindigest.h"

#include <QMap>
#include <QString>

class Database;

// The levels' PINs in data.db, table accessPin (one row per level with a PIN: salt, iteration
// count, digest), and the wrong PINs in a row with the end of a lockout, table accessState, so
// a restart does not lift a lockout. The tables are made when the store is opened, so an older
// file gains them.
class AccessStore
{
public:
    struct Lockout
    {
        int wrongInRow = 0;
        // Milliseconds since the epoch (UTC) at which the lockout ends; 0 for none.
        qint64 lockedUntil = 0;
    };

    explicit AccessStore(Database &database);

    // Reads the table again; false when it cannot be read or holds rows the console never
    // writes. The store is then damaged: it offers no PIN until resetPins().
    bool load();
    bool isDamaged() const { return damaged; }
    // What is wrong with the table, for the operator; empty when nothing is.
    QString problem() const { return problemText; }

    bool hasPin(AccessLevel level) const;
    PinDigest pin(AccessLevel level) const { return pins.value(level); }
    // False with problem() set when data.db does not take it.
    bool setPin(AccessLevel level, const PinDigest &digest);
    // Removes every PIN and rebuilds a damaged table; access control is off afterwards.
    bool resetPins();

    Lockout lockout() const { return lock; }
    // False with problem() set when data.db does not take it.
    bool setLockout(const Lockout &state);

private:
    bool fail(const QString &text);

    Database &database;
    QMap<AccessLevel, PinDigest> pins;
    Lockout lock;
    bool damaged = false;
    QString problemText;
};

#endif // ACCESSSTORE_H
