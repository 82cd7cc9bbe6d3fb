#include "formulastore.h"

#include "databackup.h"
#include "database.h"
#include "recordslog.h"
#include "transaction.h"

namespace {

const QString FormulaTable = QStringLiteral("formula");
const QString ComponentTable = QStringLiteral("formulaComponent");

// A component's place in its formula is its position; the doser's order of work is runOrder.
const QString CreateStatement = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS formula (idFormula INTEGER PRIMARY KEY, name TEXT NOT NULL "
    "UNIQUE, baseSize REAL, largestBatch REAL, keepRatio INTEGER, lotPattern TEXT); "
    "CREATE TABLE IF NOT EXISTS formulaComponent (idFormula INTEGER NOT NULL, position INTEGER "
    "NOT NULL, productName TEXT, deviceId INTEGER, share REAL, plusTolerance REAL, "
    "minusTolerance REAL, runOrder INTEGER, PRIMARY KEY (idFormula, position));");
const QString TablesStatement = QStringLiteral(
    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN (\"%1\", \"%2\")");
const QString TableExistsStatement =
    QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = \"%1\"");
// The tables whose rows make a file worth a copy before it changes shape.
const char *const RecordTables[] = {"product", "butch", "task", "dose", "event"};

const QString IdOfNameStatement =
    QStringLiteral("SELECT idFormula FROM formula WHERE name = \"%1\"");
const QString IdExistsStatement =
    QStringLiteral("SELECT idFormula FROM formula WHERE idFormula = %1");
const QString InsertStatement =
    QStringLiteral("INSERT INTO formula (name, baseSize, largestBatch, keepRatio, lotPattern) "
                   "VALUES (\"%1\", %2, %3, %4, \"%5\")");
const QString UpdateStatement =
    QStringLiteral("UPDATE formula SET name = \"%1\", baseSize = %2, largestBatch = %3, "
                   "keepRatio = %4, lotPattern = \"%5\" WHERE idFormula = %6");
const QString DeleteComponentsStatement =
    QStringLiteral("DELETE FROM formulaComponent WHERE idFormula = %1");
const QString DeleteFormulaStatement = QStringLiteral("DELETE FROM formula WHERE idFormula = %1");
const QString InsertComponentStatement = QStringLiteral(
    "INSERT INTO formulaComponent (idFormula, position, productName, deviceId, share, "
    "plusTolerance, minusTolerance, runOrder) VALUES (%1, %2, \"%3\", %4, %5, %6, %7, %8)");
const QString LoadByIdStatement =
    QStringLiteral("SELECT idFormula, name, baseSize, largestBatch, keepRatio, lotPattern FROM "
                   "formula WHERE idFormula = %1");
const QString LoadComponentsStatement = QStringLiteral(
    "SELECT productName, deviceId, share, plusTolerance, minusTolerance, runOrder FROM "
    "formulaComponent WHERE idFormula = %1 ORDER BY position");
const QString NamesStatement = QStringLiteral("SELECT name FROM formula ORDER BY name");

enum FormulaColumn { IdColumn, NameColumn, BaseSizeColumn, LargestColumn, KeepColumn, LotColumn };
enum ComponentColumn {
    ProductColumn,
    DoserColumn,
    ShareColumn,
    PlusColumn,
    MinusColumn,
    OrderColumn
};

double number(const QString &text)
{
    return Database::decimalValue(text);
}

} // namespace

FormulaStore::FormulaStore(Database &database)
    : database(database)
{ }

bool FormulaStore::hasTables()
{
    return database.execQuery(TablesStatement, {FormulaTable, ComponentTable})
           && database.result().value(0, 0).toInt() == 2;
}

bool FormulaStore::holdsRecords()
{
    for (const char *table : RecordTables) {
        const QString name = QString::fromLatin1(table);
        if (!database.execQuery(TableExistsStatement, {name}))
            return true;
        if (database.result().value(0, 0).toInt() == 0)
            continue;
        // A table name cannot be bound; these are the store's own constants.
        if (!database.execQuery(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(name))
            || database.result().value(0, 0).toInt() != 0)
            return true;
    }
    return false;
}

WriteResult FormulaStore::createTables(const QDateTime &now)
{
    if (hasTables())
        return {};
    if (holdsRecords()) {
        DataBackup backup(database.fileName());
        const QString copy = backup.makeCopy(now);
        if (copy.isEmpty())
            return WriteResult::failed(
                QStringLiteral("копия data.db перед новыми таблицами не сделана: %1")
                    .arg(backup.lastError()));
        qCInfo(lcRecords) << "copied to" << copy << "before the formula tables";
    }
    Transaction transaction(database);
    return WriteResult::of(transaction.isOpen() && database.execQuery(CreateStatement)
                               && transaction.commit(),
                           database);
}

WriteResult FormulaStore::save(const Formula &formula, qint64 *savedId)
{
    if (WriteResult created = createTables(); !created)
        return created;
    Transaction transaction(database);
    qint64 id = 0;
    if (!transaction.isOpen() || !writeFormula(formula, id) || !transaction.commit())
        return WriteResult::of(false, database);
    if (savedId)
        *savedId = id;
    return {};
}

bool FormulaStore::writeFormula(const Formula &formula, qint64 &id)
{
    if (!database.execQuery(IdOfNameStatement, {formula.name}))
        return false;
    const qint64 named = database.result().value(0, 0).toLongLong();
    id = named;
    if (formula.id > 0) {
        if (!database.execQuery(IdExistsStatement, {formula.id}))
            return false;
        if (database.result().rows > 0)
            id = formula.id;
    }
    // Renamed onto another formula's name: that one is replaced.
    if (named != 0 && named != id
        && (!database.execQuery(DeleteComponentsStatement, {named})
            || !database.execQuery(DeleteFormulaStatement, {named})))
        return false;
    const QVariantList fields {formula.name, formula.baseSize, formula.largestBatch,
                               formula.keepRatio ? 1 : 0, formula.lotPattern};
    if (id != 0) {
        if (!database.execQuery(UpdateStatement, fields + QVariantList {id}))
            return false;
    } else {
        if (!database.execQuery(InsertStatement, fields))
            return false;
        id = database.lastInsertId();
    }
    if (!database.execQuery(DeleteComponentsStatement, {id}))
        return false;
    for (int position = 0; position < formula.components.size(); ++position) {
        const FormulaComponent &component = formula.components.at(position);
        if (!database.execQuery(InsertComponentStatement,
                                {id, position, component.product, component.doser, component.share,
                                 component.plusTolerance, component.minusTolerance,
                                 component.order}))
            return false;
    }
    return true;
}

std::optional<Formula> FormulaStore::loadById(qint64 id)
{
    if (!database.execQuery(LoadByIdStatement, {id}) || database.result().rows == 0)
        return std::nullopt;
    const QueryResult &row = database.result();
    Formula formula;
    formula.id = row.value(0, IdColumn).toLongLong();
    formula.name = row.value(0, NameColumn);
    formula.baseSize = number(row.value(0, BaseSizeColumn));
    formula.largestBatch = number(row.value(0, LargestColumn));
    formula.keepRatio = row.value(0, KeepColumn).toInt() != 0;
    formula.lotPattern = row.value(0, LotColumn);
    if (!database.execQuery(LoadComponentsStatement, {id}))
        return std::nullopt;
    const QueryResult &rows = database.result();
    for (int r = 0; r < rows.rows; ++r) {
        FormulaComponent component;
        component.product = rows.value(r, ProductColumn);
        component.doser = rows.value(r, DoserColumn).toInt();
        component.share = number(rows.value(r, ShareColumn));
        component.plusTolerance = number(rows.value(r, PlusColumn));
        component.minusTolerance = number(rows.value(r, MinusColumn));
        component.order = rows.value(r, OrderColumn).toInt();
        formula.components.append(component);
    }
    return formula;
}

std::optional<Formula> FormulaStore::loadByName(const QString &name)
{
    const qint64 id = idOf(name);
    if (id == 0)
        return std::nullopt;
    return loadById(id);
}

qint64 FormulaStore::idOf(const QString &name)
{
    if (!database.execQuery(IdOfNameStatement, {name}))
        return 0;
    return database.result().value(0, 0).toLongLong();
}

QStringList FormulaStore::names()
{
    if (!database.execQuery(NamesStatement))
        return {};
    return database.result().values;
}

WriteResult FormulaStore::remove(qint64 id)
{
    if (!database.execQuery(TablesStatement, {FormulaTable, ComponentTable}))
        return WriteResult::of(false, database);
    // A file without the tables holds no formula to remove.
    if (database.result().value(0, 0).toInt() != 2)
        return {};
    Transaction transaction(database);
    return WriteResult::of(
        transaction.isOpen() && database.execQuery(DeleteComponentsStatement, {id})
            && database.execQuery(DeleteFormulaStatement, {id}) && transaction.commit(),
        database);
}
