#include "schedulecheck.h"

#include "formulastore.h"
#include "lotnumbers.h"

#include <algorithm>

namespace {

const QString NoLot = QStringLiteral("нет номера партии и шаблона для него");
// A shift's work, with room to spare; more is a slip of the finger or of the plant's system.
constexpr int MaxCount = 1000;

} // namespace

QString ScheduleCheck::refusal(Database &records, const ScheduleEntry &entry,
                               const QList<LineCapacity> &line)
{
    if (entry.count < 1)
        return QStringLiteral("число партий должно быть не меньше 1");
    if (entry.count > MaxCount)
        return QStringLiteral("число партий больше %1").arg(MaxCount);
    if (!entry.lot.isEmpty()) {
        if (const QString problem = LotNumbers::problem(entry.lot); !problem.isEmpty())
            return QStringLiteral("номер партии: %1").arg(problem);
    }
    const double size = entry.size.toDouble();
    // Every batch of the schedule has a lot: typed, or from the entry's or the formula's pattern.
    const auto noLot = [&records, &entry](const QString &formulaPattern) {
        if (!entry.lot.isEmpty())
            return false;
        const QString pattern = entry.lotPattern.isEmpty() ? formulaPattern : entry.lotPattern;
        return !LotNumbers::problem(LotNumbers(records).next(pattern)).isEmpty();
    };
    if (!entry.formulaName.isEmpty()) {
        const std::optional<Formula> formula = FormulaStore(records).loadByName(entry.formulaName);
        if (!formula)
            return QStringLiteral("рецептура \"%1\" не найдена").arg(entry.formulaName);
        if (noLot(formula->lotPattern))
            return NoLot;
        if (const QString refused = FormulaPlan::sizeRefusal(*formula, size, line);
            !refused.isEmpty())
            return refused;
        // An entry's batch is one batch of the formula; a larger size is several entries.
        if (FormulaPlan::batchesFor(*formula, size) > 1)
            return QStringLiteral("размер больше наибольшей партии рецептуры");
        return QString();
    }
    if (entry.productName.isEmpty())
        return QStringLiteral("продукт не выбран");
    const bool onLine = std::any_of(line.cbegin(), line.cend(), [&entry](const LineCapacity &at) {
        return at.doser == entry.deviceId;
    });
    if (!onLine)
        return QStringLiteral("дозатора %1 нет на линии").arg(entry.deviceId);
    if (!(size > 0))
        return QStringLiteral("размер партии не задан");
    if (noLot(QString()))
        return NoLot;
    return QString();
}
