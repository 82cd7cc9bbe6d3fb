#include "receiptparameters.h"

#include "database.h"
#include "receiptstore.h"

#include <QFileInfo>

namespace {

constexpr int NotADatabase = 26; // SQLITE_NOTADB

const QString CreateTable =
    QStringLiteral("CREATE TABLE IF NOT EXISTS doserparameters (productName TEXT, taskWeight TEXT, "
                   "doseFaultPlus TEXT, doseFaultMinus TEXT, weightScale TEXT, scale INTEGER);");
// One row: the old one goes in the same transaction that adds the new one.
const QString ReplaceRow = QStringLiteral(
    "BEGIN; DELETE FROM doserparameters; INSERT INTO doserparameters (productName, taskWeight, "
    "doseFaultPlus, doseFaultMinus, weightScale, scale) values (\"%1\", \"%2\", \"%3\", \"%4\", "
    "\"%5\", %6); COMMIT;");
const QString HasTable = QStringLiteral(
    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'doserparameters';");
const QString SelectRow =
    QStringLiteral("SELECT productName, taskWeight, doseFaultPlus, doseFaultMinus, weightScale, "
                   "scale FROM doserparameters LIMIT 1;");

QString quotedName(const QString &filePath)
{
    return u'"' + ReceiptStore::nameOfPath(filePath) + u'"';
}

QString notFound(const QString &filePath)
{
    return QStringLiteral("Файл рецепта ") + quotedName(filePath) + QStringLiteral(" не найден.");
}

QString notADatabase(const QString &filePath)
{
    return QStringLiteral("Файл рецепта ") + quotedName(filePath)
           + QStringLiteral(" повреждён: это не база данных рецепта.");
}

// Runs the statement that first reads the file; the operator's message when it fails.
QString firstStatementProblem(Database &file, const QString &statement, const QString &filePath,
                              const QString &otherwise)
{
    if (file.execQuery(statement))
        return QString();
    return file.result().status == NotADatabase ? notADatabase(filePath) : otherwise;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// [-]digits, then "." and exactly `scale` digits when scale is above 0; or empty (not set).
bool isWeight(const QString &text, int scale)
{
    if (text.isEmpty())
        return true;
    qsizetype i = text.startsWith(u'-') ? 1 : 0;
    const qsizetype integerStart = i;
    while (i < text.size() && isDigit(text.at(i)))
        ++i;
    if (i == integerStart)
        return false;
    if (scale == 0)
        return i == text.size();
    if (i + 1 + scale != text.size() || text.at(i) != u'.')
        return false;
    for (++i; i < text.size(); ++i) {
        if (!isDigit(text.at(i)))
            return false;
    }
    return true;
}

} // namespace

QString ReceiptParameters::writeTo(const QString &filePath) const
{
    const QString failed =
        QStringLiteral("Не удалось записать параметры в рецепт ") + quotedName(filePath) + u'.';
    if (!isValid())
        return failed;
    if (!ReceiptStore::isReceiptFile(filePath))
        return notFound(filePath);
    Database file(ReceiptStore::sqliteName(filePath, ReceiptStore::Access::ReadWrite),
                  Database::JournalMode::Rollback);
    if (const QString problem = firstStatementProblem(file, CreateTable, filePath, failed);
        !problem.isEmpty())
        return problem;
    if (!file.execQuery(ReplaceRow, {productName, taskWeight, doseFaultPlus, doseFaultMinus,
                                     weightScale, scale}))
        return failed;
    return QString();
}

QString ReceiptParameters::readFrom(const QString &filePath)
{
    if (!ReceiptStore::isReceiptFile(filePath))
        return notFound(filePath);
    Database file(ReceiptStore::sqliteName(filePath, ReceiptStore::Access::ReadOnly),
                  Database::JournalMode::Rollback);
    const QString unreadable =
        QStringLiteral("Не удалось прочитать рецепт ") + quotedName(filePath) + u'.';
    if (const QString problem = firstStatementProblem(file, HasTable, filePath, unreadable);
        !problem.isEmpty())
        return problem;
    const QString missing = QStringLiteral("В рецепте ") + quotedName(filePath)
                            + QStringLiteral(" нет параметров работы дозатора.");
    if (file.result().value(0, 0).toInt() == 0 || !file.execQuery(SelectRow)
        || file.result().rows == 0)
        return missing;

    const QueryResult &row = file.result();
    ReceiptParameters stored;
    stored.productName = row.value(0, 0);
    stored.taskWeight = row.value(0, 1);
    stored.doseFaultPlus = row.value(0, 2);
    stored.doseFaultMinus = row.value(0, 3);
    stored.weightScale = row.value(0, 4);
    bool isNumber = false;
    stored.scale = row.value(0, 5).toInt(&isNumber);
    if (!isNumber || !stored.isValid())
        return QStringLiteral("Параметры рецепта ") + quotedName(filePath)
               + QStringLiteral(" повреждены.");
    *this = stored;
    return QString();
}

QString ReceiptParameters::mismatchWith(const QString &doserWeightScale, int doserScale) const
{
    if (weightScale == doserWeightScale && scale == doserScale)
        return QString();
    return QStringLiteral("Рецепт сохранён для единицы веса \"%1\" и %2 знаков после точки, а "
                          "дозатор сейчас работает с единицей \"%3\" и %4 знаками после точки. "
                          "Рецепт не загружен.")
        .arg(weightScale)
        .arg(scale)
        .arg(doserWeightScale)
        .arg(doserScale);
}

bool ReceiptParameters::operator==(const ReceiptParameters &other) const
{
    return productName == other.productName && taskWeight == other.taskWeight
           && doseFaultPlus == other.doseFaultPlus && doseFaultMinus == other.doseFaultMinus
           && weightScale == other.weightScale && scale == other.scale;
}

bool ReceiptParameters::isValid() const
{
    return scale >= 0 && scale <= MaxScale && isWeight(taskWeight, scale)
           && isWeight(doseFaultPlus, scale) && isWeight(doseFaultMinus, scale);
}
