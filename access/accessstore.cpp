#include "accessstore.h"

#include "database.h"
#include "highwatermark.h"
#include "transaction.h"

namespace {

const QString CreateStatement =
    QStringLiteral("CREATE TABLE IF NOT EXISTS accessPin (level INTEGER PRIMARY KEY, salt TEXT, "
                   "iterations INTEGER, digest TEXT);");
const QString LoadStatement =
    QStringLiteral("SELECT level, salt, iterations, digest FROM accessPin ORDER BY level;");
const QString SaveStatement =
    QStringLiteral("INSERT OR REPLACE INTO accessPin (level, salt, iterations, digest) "
                   "values (%1, \"%2\", %3, \"%4\");");
const QString DropStatement = QStringLiteral("DROP TABLE IF EXISTS accessPin;");
const QString CreateStateStatement = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS accessState (wrongInRow INTEGER, lockedUntil INTEGER);");
const QString LoadStateStatement =
    QStringLiteral("SELECT wrongInRow, lockedUntil FROM accessState LIMIT 1;");
const QString ClearStateStatement = QStringLiteral("DELETE FROM accessState;");
const QString SaveStateStatement =
    QStringLiteral("INSERT INTO accessState (wrongInRow, lockedUntil) values (%1, %2);");

constexpr int LoadColumns = 4;

} // namespace

AccessStore::AccessStore(Database &database)
    : database(database)
{
    load();
}

bool AccessStore::load()
{
    pins.clear();
    damaged = false;
    problemText.clear();
    lock = {};
    // A state that cannot be read locks nothing: the PINs alone decide what is protected.
    if (database.execQuery(CreateStateStatement) && database.execQuery(LoadStateStatement)
        && database.result().rows > 0) {
        lock.wrongInRow = database.result().value(0, 0).toInt();
        lock.lockedUntil = database.result().value(0, 1).toLongLong();
    }
    if (!database.execQuery(CreateStatement) || !database.execQuery(LoadStatement))
        return fail(database.lastErrorMessage());
    const QueryResult &rows = database.result();
    if (rows.rows > 0 && rows.columns != LoadColumns)
        return fail(QStringLiteral("неверные столбцы"));
    for (int row = 0; row < rows.rows; ++row) {
        bool numberRead = false;
        AccessLevel level = AccessLevel::Operator;
        const int number = rows.value(row, 0).toInt(&numberRead);
        bool iterationsRead = false;
        const int iterations = rows.value(row, 2).toInt(&iterationsRead);
        const PinDigest digest(QByteArray::fromBase64(rows.value(row, 1).toLatin1()), iterations,
                               QByteArray::fromBase64(rows.value(row, 3).toLatin1()));
        if (!numberRead || !accessLevelFromNumber(number, level) || !iterationsRead
            || !digest.isValid())
            return fail(QStringLiteral("строка %1 неверна").arg(row + 1));
        pins.insert(level, digest);
    }
    // PINs that vanish from the file (the table dropped or emptied by hand) must not switch the
    // protection off: the mark beside the file knows they were set.
    HighWaterMark mark(database.fileName());
    if (!pins.contains(AccessLevel::Engineer) && mark.levelsOn())
        return fail(QStringLiteral("PIN наладчика удалён из файла"));
    // A file whose PINs were set before the mark was kept.
    if (pins.contains(AccessLevel::Engineer))
        mark.setLevelsOn(true);
    return true;
}

bool AccessStore::hasPin(AccessLevel level) const
{
    return pins.contains(level);
}

bool AccessStore::setPin(AccessLevel level, const PinDigest &digest)
{
    if (damaged)
        return false;
    if (!database.execQuery(SaveStatement,
                            {int(level), QString::fromLatin1(digest.salt().toBase64()),
                             digest.iterations(),
                             QString::fromLatin1(digest.digest().toBase64())})) {
        problemText = database.lastErrorMessage();
        return false;
    }
    pins.insert(level, digest);
    if (level == AccessLevel::Engineer)
        HighWaterMark(database.fileName()).setLevelsOn(true);
    return true;
}

bool AccessStore::resetPins()
{
    Transaction transaction(database);
    if (!transaction.isOpen() || !database.execQuery(DropStatement)
        || !database.execQuery(CreateStatement) || !database.execQuery(CreateStateStatement)
        || !database.execQuery(ClearStateStatement) || !transaction.commit()) {
        problemText = database.lastErrorMessage();
        return false;
    }
    if (!HighWaterMark(database.fileName()).setLevelsOn(false)) {
        problemText = QStringLiteral("отметка уровней доступа не записана");
        return false;
    }
    return load();
}

bool AccessStore::setLockout(const Lockout &state)
{
    Transaction transaction(database);
    if (!transaction.isOpen() || !database.execQuery(CreateStateStatement)
        || !database.execQuery(ClearStateStatement)
        || !database.execQuery(SaveStateStatement, {state.wrongInRow, state.lockedUntil})
        || !transaction.commit()) {
        problemText = database.lastErrorMessage();
        return false;
    }
    lock = state;
    return true;
}

bool AccessStore::fail(const QString &text)
{
    pins.clear();
    damaged = true;
    problemText = text;
    return false;
}
