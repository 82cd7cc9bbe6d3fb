#include "database.h"

#include "daysummaries.h"
#include "doseaccuracy.h"
#include "recordslog.h"
#include "statementtemplate.h"
#include "transaction.h"

#include <QDebug>

#include <sqlite3.h>

#include <charconv>
#include <type_traits>

namespace {

const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS admin (password TEXT);",
    "CREATE TABLE IF NOT EXISTS product (idProduct INTEGER PRIMARY KEY, productName TEXT);",
    "CREATE TABLE IF NOT EXISTS butch (idButch INTEGER PRIMARY KEY, date TEXT, startTime TEXT, "
    "endTime TEXT, endDate TEXT);",
    "CREATE TABLE IF NOT EXISTS task (idButch INTEGER, deviceId INTEGER, startTime TEXT, endTime "
    "TEXT, taskWeight TEXT, haveDoneWeight TEXT, mustToBeDoneWeight TEXT, productName TEXT, "
    "weightScale TEXT, startDate TEXT, endDate TEXT);",
    // The statistics turn days into batch ranges; years of batches make a scan per day slow.
    "CREATE INDEX IF NOT EXISTS butchDate ON butch (date);",
    // Every discharge of a batch, counted or not; the ordered weight is empty for a residue.
    "CREATE TABLE IF NOT EXISTS dose (idDose INTEGER PRIMARY KEY, idButch INTEGER, deviceId "
    "INTEGER, date TEXT, time TEXT, orderedWeight TEXT, dischargedWeight TEXT, weightScale TEXT, "
    "decimals INTEGER, counted INTEGER, doseFaultPlus TEXT, doseFaultMinus TEXT);",
    // In the order the statistics group doses by task and unit, so they need no sorting.
    "CREATE INDEX IF NOT EXISTS doseButch ON dose (idButch, deviceId, weightScale);",
    // Doses find their product through the task of their batch and doser.
    "CREATE INDEX IF NOT EXISTS taskButch ON task (idButch, deviceId);",
    "CREATE TABLE IF NOT EXISTS event (idEvent INTEGER PRIMARY KEY, date TEXT, time TEXT, kind "
    "INTEGER, idButch INTEGER, deviceId INTEGER, errorCode INTEGER, text TEXT, seal TEXT);",
    "CREATE INDEX IF NOT EXISTS eventDate ON event (date);",
    "CREATE INDEX IF NOT EXISTS eventButch ON event (idButch);",
    // The highest batch id ever handed out, so a deleted batch's id is never given again.
    "CREATE TABLE IF NOT EXISTS lastButchId (idButch INTEGER);",
    // The same for task ids.
    "CREATE TABLE IF NOT EXISTS lastTaskId (idTask INTEGER);",
    // The hopper's weight through each cycle of a batch, for its trend and report.
    "CREATE TABLE IF NOT EXISTS cycle (idButch INTEGER, deviceId INTEGER, number INTEGER, "
    "decimals INTEGER, orderedWeight REAL, doseFaultPlus REAL, doseFaultMinus REAL, counted "
    "INTEGER, dischargedWeight REAL, countedMs INTEGER, samples TEXT);",
    "CREATE INDEX IF NOT EXISTS cycleButch ON cycle (idButch, deviceId);",
    // What the console learned of how each doser misses its fills of a product.
    "CREATE TABLE IF NOT EXISTS doseCorrection (deviceId INTEGER, productName TEXT, correction "
    "REAL, ratios TEXT, inFlight REAL, sent TEXT, PRIMARY KEY (deviceId, productName));",
    // A batch made from a formula: the formula and size it was made for, and its components,
    // each with its task once begun.
    "CREATE TABLE IF NOT EXISTS formulaButch (idButch INTEGER PRIMARY KEY, formulaName TEXT, "
    "size TEXT, keepRatio INTEGER);",
    "CREATE TABLE IF NOT EXISTS formulaPart (idButch INTEGER, seq INTEGER, deviceId INTEGER, "
    "productName TEXT, taskWeight TEXT, doseFaultPlus TEXT, doseFaultMinus TEXT, turn INTEGER, "
    "idTask INTEGER, PRIMARY KEY (idButch, seq));",
    // The production schedule, and which of its entries each batch was opened for.
    "CREATE TABLE IF NOT EXISTS schedule (idEntry INTEGER PRIMARY KEY, place INTEGER, formulaName "
    "TEXT, productName TEXT, deviceId INTEGER, size TEXT, lot TEXT, lotPattern TEXT, count "
    "INTEGER, state INTEGER, reason TEXT, addedBy TEXT, addedAt TEXT, orderId TEXT);",
    "CREATE TABLE IF NOT EXISTS scheduleButch (idButch INTEGER PRIMARY KEY, idEntry INTEGER);",
    // The highest counter each lot pattern has handed out (see LotNumbers).
    "CREATE TABLE IF NOT EXISTS lotCounter (pattern TEXT PRIMARY KEY, counter INTEGER);",
};

// Columns that came after their table; rows of an older file keep them empty unless `fill`
// (run in the transaction that adds the column) gives them their values.
struct AddedColumn
{
    const char *table;
    const char *column;
    const char *type;
    const char *fill = nullptr;
};
const AddedColumn AddedColumns[] = {
    // The journal's chain value: older rows count as not sealed.
    {"event", "seal", "TEXT"},
    // The share of the fill the console took off the ordered weight for the doser's miss.
    {"dose", "correction", "REAL"},
    // A task's own id: a batch may hold several tasks on one doser. Older tasks are numbered
    // in the order they were written.
    {"task", "idTask", "INTEGER",
     "UPDATE task SET idTask = rowid; "
     "CREATE UNIQUE INDEX IF NOT EXISTS taskId ON task (idTask);"},
    // Older files held one task per batch and doser, so that pair names a dose row's task.
    {"dose", "idTask", "INTEGER",
     "UPDATE dose SET idTask = (SELECT t.idTask FROM task t WHERE t.idButch = dose.idButch AND "
     "t.deviceId = dose.deviceId ORDER BY t.rowid LIMIT 1);"},
    // The amount in flight learned beside the share, and the sizes of the fills learned from;
    // an older correction learned none and knows no sizes.
    {"doseCorrection", "inFlight", "REAL", "UPDATE doseCorrection SET inFlight = 0;"},
    {"doseCorrection", "sent", "TEXT"},
    // The amount in flight taken off the fill for the doser's learned miss.
    {"dose", "inFlight", "REAL"},
    // The batch's lot; older batches have none. The statistics look up the few batches with
    // one over years of those without.
    {"butch", "lot", "TEXT",
     "CREATE INDEX IF NOT EXISTS butchLot ON butch (idButch) WHERE lot != '';"},
};

// Several connections write the same file now; one that finds it locked waits for the other's
// transaction instead of failing at once.
constexpr int BusyTimeoutMs = 5000;
constexpr int WalCheckpointPages = 100;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the form the console writes weights in, [-]digits[.digits], without going through
// QString: over years of records that conversion costs more than the query itself. Both readings
// round correctly, so they give the same number; any other text is left to QString::toDouble.
bool readPlainDecimal(const char *text, int size, double &number)
{
    const char *const end = text + size;
    const char *p = text;
    if (p < end && *p == '-')
        ++p;
    const char *const integerPart = p;
    while (p < end && isDigit(*p))
        ++p;
    if (p == integerPart)
        return false;
    if (p < end && *p == '.') {
        const char *const fraction = ++p;
        while (p < end && isDigit(*p))
            ++p;
        if (p == fraction)
            return false;
    }
    if (p != end)
        return false;
    const std::from_chars_result read = std::from_chars(text, end, number);
    return read.ec == std::errc() && read.ptr == end;
}

double decimalArgument(sqlite3_value *argument);

void decimalValueFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    sqlite3_result_double(context, decimalArgument(arguments[0]));
}

double decimalArgument(sqlite3_value *argument)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argument));
    const int size = sqlite3_value_bytes(argument);
    double number = 0.0;
    if (text && !readPlainDecimal(text, size, number))
        number = Database::decimalValue(QString::fromUtf8(text, size));
    return number;
}

static_assert(std::is_trivially_copyable_v<DoseAccuracy>);

DoseAccuracy *accuracyState(sqlite3_context *context)
{
    return static_cast<DoseAccuracy *>(sqlite3_aggregate_context(context, sizeof(DoseAccuracy)));
}

// The figures of one group as their bytes (DoseAccuracy::toBytes()): exact, and without the
// text's formatting and parsing for each of the many groups a range of years holds.
void accuracyBytesResult(sqlite3_context *context)
{
    const DoseAccuracy *figures = accuracyState(context);
    if (!figures) {
        sqlite3_result_null(context);
        return;
    }
    const QByteArray bytes = figures->toBytes();
    sqlite3_result_blob(context, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

// As above, but NULL for a group without doses, so rows of tasks alone keep no figures.
void mergedAccuracyResult(sqlite3_context *context)
{
    const DoseAccuracy *figures = accuracyState(context);
    if (!figures || figures->count() == 0) {
        sqlite3_result_null(context);
        return;
    }
    accuracyBytesResult(context);
}

DoseAccuracy accuracyArgument(sqlite3_value *argument)
{
    if (sqlite3_value_type(argument) != SQLITE_BLOB)
        return DoseAccuracy();
    return DoseAccuracy::fromBytes(QByteArrayView(
        static_cast<const char *>(sqlite3_value_blob(argument)), sqlite3_value_bytes(argument)));
}

// A tolerance is known when the dose row holds one; old rows leave it empty.
bool toleranceArgument(sqlite3_value *argument, double &tolerance)
{
    if (sqlite3_value_type(argument) == SQLITE_NULL || sqlite3_value_bytes(argument) == 0)
        return false;
    tolerance = decimalArgument(argument);
    return true;
}

// doseAccuracy(discharged, ordered, decimals, weightScale, doseFaultPlus, doseFaultMinus): every
// weight read once per dose, where the same figures in plain SQL read each of them five times.
void doseAccuracyStep(sqlite3_context *context, int, sqlite3_value **arguments)
{
    DoseAccuracy *figures = accuracyState(context);
    if (!figures)
        return;
    DoseAccuracy::Dose dose;
    dose.discharged = decimalArgument(arguments[0]);
    dose.ordered = decimalArgument(arguments[1]);
    dose.decimals = sqlite3_value_int(arguments[2]);
    // The unit's bytes against the three units' UTF-8: cheaper per dose than a QString.
    const QByteArrayView unit(reinterpret_cast<const char *>(sqlite3_value_text(arguments[3])),
                              sqlite3_value_bytes(arguments[3]));
    for (const char *known : {"г", "кг", "т"}) {
        if (unit == QByteArrayView(known))
            dose.gramsPerUnit = ToleranceClass::gramsPerUnit(QUtf8StringView(known));
    }
    dose.toleranceKnown =
        toleranceArgument(arguments[4], dose.plus) && toleranceArgument(arguments[5], dose.minus);
    figures->add(dose);
}

// mergedAccuracy(figures): the figures of several groups as one; NULLs add nothing.
void mergedAccuracyStep(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (DoseAccuracy *figures = accuracyState(context))
        figures->merge(accuracyArgument(arguments[0]));
}

// accuracyText(figures): the figures as DoseAccuracy::toText(), for a query's result; NULL for
// none.
void accuracyTextFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (sqlite3_value_type(arguments[0]) != SQLITE_BLOB) {
        sqlite3_result_null(context);
        return;
    }
    const QByteArray text = accuracyArgument(arguments[0]).toText().toUtf8();
    sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

int bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return sqlite3_bind_text(statement, index, bytes.constData(), int(bytes.size()),
                             SQLITE_TRANSIENT);
}

int bindByType(sqlite3_stmt *statement, int index, const QVariant &argument)
{
    switch (argument.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(statement, index, argument.toLongLong());
    case QMetaType::Float:
    case QMetaType::Double:
        return sqlite3_bind_double(statement, index, argument.toDouble());
    default:
        if (argument.isNull())
            return sqlite3_bind_null(statement, index);
        return bindText(statement, index, argument.toString());
    }
}

} // namespace

Database::Database(const QString &fileName, JournalMode journal)
    : name(fileName)
{
    sqlite3 *connection = nullptr;
    openStatus =
        sqlite3_open_v2(fileName.toUtf8().constData(), &connection,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI, nullptr);
    if (openStatus != SQLITE_OK) {
        openError =
            QString::fromUtf8(connection ? sqlite3_errmsg(connection) : sqlite3_errstr(openStatus));
        qDebug("\nCan't open database: %s", qUtf8Printable(openError));
        sqlite3_close(connection);
        return;
    }
    handle = connection;
    qDebug("\nCan open database: %s", sqlite3_errmsg(handle));
    sqlite3_busy_timeout(handle, BusyTimeoutMs);
    // A read-only or broken file keeps its mode; its statements report the problem.
    if (journal == JournalMode::WriteAhead) {
        sqlite3_exec(handle, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        // What lives only in the log is lost with it: keep it to a few hundred kilobytes.
        sqlite3_wal_autocheckpoint(handle, WalCheckpointPages);
    }
    sqlite3_exec(handle, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(handle, "decimalValue", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                               nullptr, &decimalValueFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(handle, "doseAccuracy", 6, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                               nullptr, nullptr, &doseAccuracyStep, &accuracyBytesResult, nullptr);
    sqlite3_create_function_v2(handle, "mergedAccuracy", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                               nullptr, nullptr, &mergedAccuracyStep, &mergedAccuracyResult,
                               nullptr);
    sqlite3_create_function_v2(handle, "accuracyText", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                               nullptr, &accuracyTextFunction, nullptr, nullptr, nullptr);
}

Database::~Database()
{
    sqlite3_close(handle);
}

QString Database::fileName() const
{
    const char *path = handle ? sqlite3_db_filename(handle, "main") : nullptr;
    return path ? QString::fromUtf8(path) : name;
}

bool Database::isReadOnly() const
{
    return handle && sqlite3_db_readonly(handle, "main") == 1;
}

bool Database::execQuery(const QString &statement, const QVariantList &arguments)
{
    last.clear();
    lastError.clear();
    if (!handle) {
        last.status = openStatus;
        last.errorText = openError;
        lastError = openError;
        writeTrace();
        return false;
    }

    const StatementTemplate statementTemplate(statement);
    const QByteArray &sql = statementTemplate.sql();
    const char *tail = sql.constData();
    const char *const end = tail + sql.size();
    int status = SQLITE_OK;
    QString problem;
    // Several statements in one text run one after the other into one result.
    while (status == SQLITE_OK && tail < end) {
        sqlite3_stmt *prepared = nullptr;
        status = sqlite3_prepare_v2(handle, tail, int(end - tail), &prepared, &tail);
        if (status == SQLITE_OK && !prepared)
            break;
        if (status == SQLITE_OK)
            status = bindArguments(prepared, statementTemplate, arguments, problem);
        if (status == SQLITE_OK)
            status = collectRows(prepared, problem);
        if (status != SQLITE_OK && problem.isEmpty())
            problem = QString::fromUtf8(sqlite3_errmsg(handle));
        sqlite3_finalize(prepared);
    }

    if (status != SQLITE_OK) {
        last.clear();
        last.status = status;
        last.errorText = problem;
        lastError = problem;
    } else {
        last.errorText = QString::fromUtf8(sqlite3_errmsg(handle));
    }
    writeTrace();
    return status == SQLITE_OK;
}

bool Database::createTables(const std::function<void(int done, int total)> &progress)
{
    bool created = true;
    for (const char *statement : Schema)
        created = execQuery(QString::fromLatin1(statement)) && created;
    for (const AddedColumn &added : AddedColumns)
        created = addColumn(added.table, added.column, added.type, added.fill) && created;
    // From the rows as the added columns link them.
    return DaySummaries(*this).build(progress) && created;
}

bool Database::addColumn(const char *tableName, const char *columnName, const char *type,
                         const char *fill)
{
    const QString table = QString::fromLatin1(tableName);
    const QString column = QString::fromLatin1(columnName);
    if (hasColumn(table, column))
        return true;
    // Another connection may add it at the same moment; then it is there all the same.
    Transaction transaction(*this);
    if (transaction.isOpen() && hasColumn(table, column))
        return true;
    return transaction.isOpen()
           && execQuery(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3;")
                            .arg(table, column, QString::fromLatin1(type)))
           && (!fill || execQuery(QString::fromLatin1(fill))) && transaction.commit();
}

bool Database::hasColumn(const QString &table, const QString &column)
{
    if (!execQuery(
            QStringLiteral("SELECT count(*) FROM pragma_table_info(\"%1\") WHERE name = \"%2\";"),
            {table, column}))
        return false;
    return last.value(0, 0).toInt() > 0;
}

bool Database::hasAllTables()
{
    // "CREATE TABLE|INDEX IF NOT EXISTS <name> ...": the sixth word names it.
    constexpr int NameWord = 5;
    for (const char *statement : Schema) {
        const QString name = QString::fromLatin1(statement).split(QLatin1Char(' ')).value(NameWord);
        if (!execQuery(QStringLiteral(R"(SELECT count(*) FROM sqlite_master WHERE name = "%1")"),
                       {name})
            || last.value(0, 0).toInt() == 0)
            return false;
    }
    for (const AddedColumn &added : AddedColumns) {
        if (!hasColumn(QString::fromLatin1(added.table), QString::fromLatin1(added.column)))
            return false;
    }
    return DaySummaries(*this).areCurrent();
}

quint32 Database::dataVersion()
{
    if (!handle)
        return 0;
    sqlite3_stmt *statement = nullptr;
    quint32 version = 0;
    if (sqlite3_prepare_v2(handle, "PRAGMA data_version", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        version = quint32(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    return version;
}

bool Database::begin()
{
    // Takes the write lock at once, so a busy file is waited for here and never at the first
    // write inside the transaction.
    lastError.clear();
    return runBare("BEGIN IMMEDIATE");
}

bool Database::commit()
{
    lastError.clear();
    return runBare("COMMIT");
}

bool Database::rollback()
{
    // The failure that made the caller roll back is the one to report.
    const QString failure = lastError;
    const bool undone = runBare("ROLLBACK");
    if (!failure.isEmpty())
        lastError = failure;
    return undone;
}

bool Database::inTransaction() const
{
    return handle && !sqlite3_get_autocommit(handle);
}

qint64 Database::lastInsertId() const
{
    return handle ? sqlite3_last_insert_rowid(handle) : 0;
}

void Database::setBusyTimeout(int milliseconds)
{
    if (handle)
        sqlite3_busy_timeout(handle, milliseconds);
}

double Database::decimalValue(const QString &text)
{
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok ? number : 0.0;
}

int Database::bindArguments(sqlite3_stmt *statement, const StatementTemplate &statementTemplate,
                            const QVariantList &arguments, QString &problem)
{
    const int count = sqlite3_bind_parameter_count(statement);
    for (int number = 1; number <= count; ++number) {
        // The template numbers its parameters ?1, ?2, ...; numbers it skips have no name.
        if (!sqlite3_bind_parameter_name(statement, number))
            continue;
        if (number > arguments.size()) {
            problem = QStringLiteral("no argument for %%1").arg(number);
            return SQLITE_RANGE;
        }
        const QVariant &argument = arguments.at(number - 1);
        const int status = statementTemplate.isText(number)
                               ? bindText(statement, number, argument.toString())
                               : bindByType(statement, number, argument);
        if (status != SQLITE_OK)
            return status;
    }
    return SQLITE_OK;
}

int Database::collectRows(sqlite3_stmt *statement, QString &problem)
{
    for (;;) {
        const int status = sqlite3_step(statement);
        if (status == SQLITE_DONE)
            return SQLITE_OK;
        if (status != SQLITE_ROW)
            return status;
        const int count = sqlite3_column_count(statement);
        if (last.rows == 0) {
            last.columns = count;
            for (int column = 0; column < count; ++column)
                last.header << QString::fromUtf8(sqlite3_column_name(statement, column));
        } else if (count != last.columns) {
            problem = QStringLiteral("statements with different columns in one text");
            return SQLITE_ERROR;
        }
        for (int column = 0; column < count; ++column) {
            const auto *text =
                reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
            last.values << (text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column))
                                 : QString());
        }
        ++last.rows;
    }
}

bool Database::checkpoint(Checkpoint kind)
{
    if (!handle)
        return false;
    const int status = sqlite3_wal_checkpoint_v2(
        handle, nullptr,
        kind == Checkpoint::Truncate ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE,
        nullptr, nullptr);
    return status == SQLITE_OK;
}

bool Database::runBare(const char *statement)
{
    if (!handle) {
        lastError = openError;
        return false;
    }
    const int status = sqlite3_exec(handle, statement, nullptr, nullptr, nullptr);
    if (status != SQLITE_OK) {
        lastError = QString::fromUtf8(sqlite3_errmsg(handle));
        qCWarning(lcRecords, "%s: %s", statement, qUtf8Printable(lastError));
    }
    return status == SQLITE_OK;
}

void Database::writeTrace() const
{
    qDebug("\n%d columns, %d rows, %s", last.columns, last.rows, qUtf8Printable(last.errorText));
}
