#ifndef FORMULASTORE_H
#define FORMULASTORE_H

#include "formula.h"
#include "writeresult.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

class Database;

// The formulas in data.db: a row per formula in `formula`, a row per component in
// `formulaComponent` in the formula's order. The tables are the store's own and are made by
// createTables(); a file that already holds records is copied to backup/ first (see DataBackup),
// as every addition of tables to a file in use is. Reads of a file without the tables find no
// formulas.
class FormulaStore
{
public:
    explicit FormulaStore(Database &database);

    // The tables, when missing, after a copy of a file that holds records; harmless when they
    // exist. Fails without touching the file when the copy cannot be made.
    WriteResult createTables(const QDateTime &now = QDateTime::currentDateTime());
    bool hasTables();

    // Writes the formula with its components in one transaction. The stored formula kept is the
    // one of formula.id when there is one (so a rename keeps its id), else the one of the name;
    // another stored formula of the same name is replaced. The tables are made when missing.
    // The formula's id in the file goes to savedId.
    WriteResult save(const Formula &formula, qint64 *savedId = nullptr);
    // Nothing when there is no such formula or it cannot be read.
    std::optional<Formula> loadById(qint64 id);
    std::optional<Formula> loadByName(const QString &name);
    // The id of the formula of that name; 0 when there is none.
    qint64 idOf(const QString &name);
    // In the order of their names.
    QStringList names();
    // The formula and its components; done when there was no such formula.
    WriteResult remove(qint64 id);

private:
    bool holdsRecords();
    bool writeFormula(const Formula &formula, qint64 &id);

    Database &database;
};

#endif // FORMULASTORE_H
