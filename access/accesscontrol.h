#ifndef ACCESSCONTROL_H
#define ACCESSCONTROL_H

#include "accesslevel.h"

#include <QObject>
#include <QString>

#include <functional>

class AccessStore;

// The level the console works at now. Off (everything allowed) until a Наладчик PIN is set;
// then it starts at Оператор, a PIN raises it, and it falls back to Оператор after a while
// without a touch. Three wrong PINs in a row lock the entry for a minute; the count and the
// lockout's end are kept in the store, so a console restarted meanwhile stays locked.
class AccessControl : public QObject
{
    Q_OBJECT

public:
    // Milliseconds of a clock that never goes back; tests pass their own.
    using Clock = std::function<qint64()>;

    static constexpr int WrongPinsBeforeLock = 3;
    static constexpr qint64 LockMs = 60 * 1000;
    static constexpr qint64 DefaultIdleMs = 5 * 60 * 1000;

    enum class Entry {
        Granted,
        // A PIN of a level below the one wanted: that level is entered, the wanted one is not.
        TooLow,
        Wrong,
        Locked,
        // Not 4 to 8 digits: cannot be anyone's PIN, so neither counted nor journaled.
        Malformed,
    };

    explicit AccessControl(AccessStore &store, Clock clock = Clock(), QObject *parent = nullptr);
    // For a test of a console built with the steady clock; the idle time starts again and a
    // lockout in force is measured on the new clock.
    void setClock(Clock replacement);

    bool isEnabled() const;
    AccessLevel level() const;
    bool allows(AccessLevel needed) const;

    // The PIN of a level that allows the wanted one enters the highest level whose PIN it is.
    Entry enter(const QString &pin, AccessLevel wanted);
    qint64 lockRemainingMs() const;
    // Back to Оператор at once.
    void leave();

    // A touch or key: the idle time starts again.
    void noteActivity();
    // Returns to Оператор when the idle time has passed since the last activity.
    void checkIdle();
    void setIdleTimeout(qint64 milliseconds);
    qint64 idleTimeout() const { return idleMs; }

    // Only at Наладчик (or while off, to set the first Наладчик PIN); false with the reason.
    bool setPin(AccessLevel level, const QString &pin, QString &problem);

signals:
    void levelChanged(AccessLevel from, AccessLevel to, const QString &reason);
    void wrongPinEntered(int inRow, bool locked);
    void pinChanged(AccessLevel level);

private:
    void changeLevel(AccessLevel to, const QString &reason);
    // Takes the count and the lockout the store holds, as of the wall clock now.
    void restoreLockout();
    void saveLockout(qint64 remainingMs);

    AccessStore &store;
    Clock clock;
    AccessLevel current = AccessLevel::Operator;
    int wrongInRow = 0;
    qint64 lockedUntil = 0;
    bool locked = false;
    qint64 lastActivity = 0;
    qint64 idleMs = DefaultIdleMs;
};

#endif // ACCESSCONTROL_H
