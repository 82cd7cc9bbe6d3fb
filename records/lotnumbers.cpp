#include "lotnumbers.h"

#include "database.h"
#include "highwatermark.h"

#include <QList>
#include <QRegularExpression>

#include <algorithm>

namespace {

// More digits than a counter could ever reach is a typing slip, not a counter.
constexpr int WidestCounter = 18;

struct Piece
{
    enum Kind { Text, Year, ShortYear, Month, Day, Counter };
    Kind kind = Text;
    QString text;
    int width = 0;
};

bool repeats(const QString &name, QChar letter)
{
    return std::all_of(name.cbegin(), name.cend(), [letter](QChar c) { return c == letter; });
}

// The token a name in braces stands for; Text when it stands for none.
Piece token(const QString &inBraces)
{
    const QString name = inBraces.toUpper();
    if (name == QLatin1String("YYYY") || name == QStringLiteral("ГГГГ"))
        return {Piece::Year, {}, 4};
    if (name == QLatin1String("YY") || name == QStringLiteral("ГГ"))
        return {Piece::ShortYear, {}, 2};
    if (name == QLatin1String("MM") || name == QStringLiteral("ММ"))
        return {Piece::Month, {}, 2};
    if (name == QLatin1String("DD") || name == QStringLiteral("ДД"))
        return {Piece::Day, {}, 2};
    if (!name.isEmpty() && name.size() <= WidestCounter
        && (repeats(name, u'N') || repeats(name, u'Н')))
        return {Piece::Counter, {}, int(name.size())};
    return {};
}

QList<Piece> pieces(const QString &pattern)
{
    static const QRegularExpression braces(QStringLiteral("\\{([^{}]*)\\}"));
    QList<Piece> out;
    qsizetype copied = 0;
    QRegularExpressionMatchIterator found = braces.globalMatch(pattern);
    while (found.hasNext()) {
        const QRegularExpressionMatch match = found.next();
        const Piece piece = token(match.captured(1));
        if (piece.kind == Piece::Text)
            continue;
        if (match.capturedStart() > copied)
            out.append({Piece::Text, pattern.mid(copied, match.capturedStart() - copied)});
        out.append(piece);
        copied = match.capturedEnd();
    }
    if (copied < pattern.size())
        out.append({Piece::Text, pattern.mid(copied)});
    return out;
}

QString expand(const QList<Piece> &all, const QDate &day, qint64 counter)
{
    const auto digits = [](qint64 value, int width) {
        return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
    };
    QString lot;
    for (const Piece &piece : all) {
        switch (piece.kind) {
        case Piece::Text:
            lot += piece.text;
            break;
        case Piece::Year:
            lot += digits(day.year(), piece.width);
            break;
        case Piece::ShortYear:
            lot += digits(day.year() % 100, piece.width);
            break;
        case Piece::Month:
            lot += digits(day.month(), piece.width);
            break;
        case Piece::Day:
            lot += digits(day.day(), piece.width);
            break;
        case Piece::Counter:
            lot += digits(counter, piece.width);
            break;
        }
    }
    return lot;
}

// What the pattern's lots look like, the first counter captured.
QRegularExpression reading(const QList<Piece> &all)
{
    QString expression = QStringLiteral("^");
    bool captured = false;
    for (const Piece &piece : all) {
        if (piece.kind == Piece::Text)
            expression += QRegularExpression::escape(piece.text);
        else if (piece.kind == Piece::Counter)
            expression += captured ? QStringLiteral("\\d+") : QStringLiteral("(\\d+)");
        else
            expression += QStringLiteral("\\d{%1}").arg(piece.width);
        captured = captured || piece.kind == Piece::Counter;
    }
    return QRegularExpression(expression + QLatin1Char('$'));
}

bool counts(const QList<Piece> &all)
{
    return std::any_of(all.cbegin(), all.cend(),
                       [](const Piece &piece) { return piece.kind == Piece::Counter; });
}

} // namespace

LotNumbers::LotNumbers(Database &connection)
    : database(connection)
{ }

QString LotNumbers::next(const QString &pattern, const QDateTime &at)
{
    const QList<Piece> all = pieces(pattern);
    return expand(all, at.date(), counts(all) ? highestTaken(pattern) + 1 : 0);
}

bool LotNumbers::take(const QString &pattern, const QString &lot)
{
    const QList<Piece> all = pieces(pattern);
    if (!counts(all))
        return true;
    bool ok = false;
    const qint64 number = reading(all).match(lot).captured(1).toLongLong(&ok);
    if (!ok)
        return true;
    return accept({{pattern, number}});
}

bool LotNumbers::accept(const QMap<QString, qint64> &taken)
{
    for (auto counter = taken.cbegin(); counter != taken.cend(); ++counter) {
        if (!database.execQuery(
                QStringLiteral(R"(INSERT INTO lotCounter (pattern, counter) VALUES ("%1", %2) )"
                               "ON CONFLICT (pattern) DO UPDATE SET counter = "
                               "max(counter, excluded.counter);"),
                {counter.key(), counter.value()}))
            return false;
    }
    return true;
}

QMap<QString, qint64> LotNumbers::counters(Database &database)
{
    QMap<QString, qint64> kept;
    if (!database.execQuery(QStringLiteral("SELECT pattern, counter FROM lotCounter")))
        return kept;
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row)
        kept.insert(rows.value(row, 0), rows.value(row, 1).toLongLong());
    return kept;
}

QString LotNumbers::problem(const QString &lot)
{
    if (lot.trimmed().isEmpty())
        return QStringLiteral("Номер партии не задан");
    if (lot.size() > MaxLength)
        return QStringLiteral("Номер партии длиннее %1 знаков").arg(MaxLength);
    const QList<uint> characters = lot.toUcs4();
    if (!std::all_of(characters.cbegin(), characters.cend(),
                     [](uint c) { return QChar::isPrint(char32_t(c)); }))
        return QStringLiteral("Номер партии содержит непечатаемые знаки");
    return QString();
}

bool LotNumbers::hasCounter(const QString &pattern)
{
    return counts(pieces(pattern));
}

qint64 LotNumbers::highestTaken(const QString &pattern)
{
    // A copy of data.db put back may be behind what was handed out: the mark knows better.
    qint64 highest = HighWaterMark(database.fileName()).ids().lots.value(pattern);
    if (database.execQuery(QStringLiteral(R"(SELECT counter FROM lotCounter WHERE pattern = "%1")"),
                           {pattern})
        && database.result().rows > 0)
        highest = std::max(highest, database.result().value(0, 0).toLongLong());
    return highest;
}
