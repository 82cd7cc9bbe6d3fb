#include "accesscontrol.h"

#include "accesslog.h"
#include "accessstore.h"
#include "pindigest.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLoggingCategory>

namespace {

qint64 steadyMilliseconds()
{
    static QElapsedTimer started;
    if (!started.isValid())
        started.start();
    return started.elapsed();
}

constexpr qint64 MsPerMinute = 60 * 1000;

} // namespace

AccessControl::AccessControl(AccessStore &store, Clock clock, QObject *parent)
    : QObject(parent)
    , store(store)
    , clock(clock ? std::move(clock) : Clock(steadyMilliseconds))
{
    lastActivity = this->clock();
    restoreLockout();
}

void AccessControl::setClock(Clock replacement)
{
    clock = replacement ? std::move(replacement) : Clock(steadyMilliseconds);
    lastActivity = clock();
    restoreLockout();
}

void AccessControl::restoreLockout()
{
    const AccessStore::Lockout stored = store.lockout();
    wrongInRow = qBound(0, stored.wrongInRow, WrongPinsBeforeLock - 1);
    const qint64 remaining = stored.lockedUntil - QDateTime::currentMSecsSinceEpoch();
    locked = remaining > 0;
    // A wall clock set back must not lock the entry for longer than one lockout.
    lockedUntil = locked ? clock() + qMin(remaining, LockMs) : 0;
}

void AccessControl::saveLockout(qint64 remainingMs)
{
    AccessStore::Lockout state;
    state.wrongInRow = wrongInRow;
    state.lockedUntil = remainingMs > 0 ? QDateTime::currentMSecsSinceEpoch() + remainingMs : 0;
    if (!store.setLockout(state))
        qCWarning(lcAccess, "the lockout is not kept in data.db: %s", qPrintable(store.problem()));
}

bool AccessControl::isEnabled() const
{
    // A table that cannot be read must not switch the protection off.
    return store.isDamaged() || store.hasPin(AccessLevel::Engineer);
}

AccessLevel AccessControl::level() const
{
    return isEnabled() ? current : AccessLevel::Engineer;
}

bool AccessControl::allows(AccessLevel needed) const
{
    return int(level()) >= int(needed);
}

AccessControl::Entry AccessControl::enter(const QString &pin, AccessLevel wanted)
{
    const qint64 now = clock();
    if (locked && now < lockedUntil)
        return Entry::Locked;
    locked = false;
    if (!PinDigest::isWellFormed(pin))
        return Entry::Malformed;
    for (AccessLevel candidate : {AccessLevel::Engineer, AccessLevel::Technologist}) {
        if (!store.hasPin(candidate) || !store.pin(candidate).matches(pin))
            continue;
        if (wrongInRow > 0 || store.lockout().lockedUntil != 0) {
            wrongInRow = 0;
            saveLockout(0);
        }
        lastActivity = now;
        if (int(candidate) > int(current))
            changeLevel(candidate, QStringLiteral("по PIN"));
        return int(candidate) >= int(wanted) ? Entry::Granted : Entry::TooLow;
    }
    ++wrongInRow;
    const int inRow = wrongInRow;
    if (wrongInRow >= WrongPinsBeforeLock) {
        locked = true;
        lockedUntil = now + LockMs;
        wrongInRow = 0;
    }
    saveLockout(locked ? LockMs : 0);
    emit wrongPinEntered(inRow, locked);
    return locked ? Entry::Locked : Entry::Wrong;
}

qint64 AccessControl::lockRemainingMs() const
{
    return locked ? qMax<qint64>(0, lockedUntil - clock()) : 0;
}

void AccessControl::leave()
{
    changeLevel(AccessLevel::Operator, QStringLiteral("выход"));
}

void AccessControl::noteActivity()
{
    lastActivity = clock();
}

void AccessControl::checkIdle()
{
    if (current == AccessLevel::Operator || clock() - lastActivity < idleMs)
        return;
    const qint64 minutes = idleMs / MsPerMinute;
    changeLevel(AccessLevel::Operator, minutes > 0
                                           ? QStringLiteral("без касаний %1 мин").arg(minutes)
                                           : QStringLiteral("без касаний %1 с").arg(idleMs / 1000));
}

void AccessControl::setIdleTimeout(qint64 milliseconds)
{
    if (milliseconds > 0)
        idleMs = milliseconds;
}

bool AccessControl::setPin(AccessLevel level, const QString &pin, QString &problem)
{
    if (level == AccessLevel::Operator) {
        problem = QStringLiteral("Уровень «Оператор» работает без PIN.");
        return false;
    }
    if (!allows(AccessLevel::Engineer) || store.isDamaged()) {
        problem = QStringLiteral("PIN меняет только наладчик.");
        return false;
    }
    if (!PinDigest::isWellFormed(pin)) {
        problem = QStringLiteral("PIN — от 4 до 8 цифр.");
        return false;
    }
    const AccessLevel other =
        level == AccessLevel::Engineer ? AccessLevel::Technologist : AccessLevel::Engineer;
    // One PIN for two levels would always enter the higher one.
    if (store.hasPin(other) && store.pin(other).matches(pin)) {
        problem =
            QStringLiteral("Этот PIN уже задан для уровня «%1».").arg(accessLevelCaption(other));
        return false;
    }
    const bool wasEnabled = isEnabled();
    if (!store.setPin(level, PinDigest::make(pin))) {
        problem = QStringLiteral("PIN не сохранён: %1").arg(store.problem());
        return false;
    }
    // Whoever sets the first Наладчик PIN is the engineer until the idle time or a restart.
    if (!wasEnabled)
        current = AccessLevel::Engineer;
    lastActivity = clock();
    emit pinChanged(level);
    return true;
}

void AccessControl::changeLevel(AccessLevel to, const QString &reason)
{
    const AccessLevel from = level();
    current = to;
    if (from != level())
        emit levelChanged(from, level(), reason);
}

#include "moc_accesscontrol.cpp"
