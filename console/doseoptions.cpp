#include "doseoptions.h"

#include "dosecorrector.h"

#include <QSettings>
#include <QStringList>

namespace {

const QString CorrectionKey = QStringLiteral("dose/correction");
const QString CorrectionDosesKey = QStringLiteral("dose/correctionDoses");
const QString CorrectionGainKey = QStringLiteral("dose/correctionGain");
const QString FewestCyclesKey = QStringLiteral("dose/fewestCycles");
const QString FillShareKey = QStringLiteral("dose/fillShare");
const QString PreciseKey = QStringLiteral("dose/precise");
const QString LastFillShareKey = QStringLiteral("dose/lastFillShare");
const QString RepeatReadsKey = QStringLiteral("dose/repeatReads");
const QString LotNumberKey = QStringLiteral("dose/lotNumber");
const QString LotPatternKey = QStringLiteral("dose/lotPattern");

} // namespace

DoseOptions DoseOptions::load(QSettings &store)
{
    DoseOptions options;
    options.correction = store.value(CorrectionKey, false).toBool();
    options.correctionDoses =
        qBound(DoseCorrector::FewestDoses,
               store.value(CorrectionDosesKey, DoseCorrector::DefaultDoses).toInt(),
               DoseCorrector::MostDoses);
    options.correctionGain =
        qBound(0.0, store.value(CorrectionGainKey, DoseCorrector::DefaultGain).toDouble(), 1.0);
    options.fewestCycles = store.value(FewestCyclesKey, false).toBool();
    // A share out of range (an edited file) would order fills the doser refuses.
    const double share = store.value(FillShareKey, DefaultFillShare).toDouble();
    options.fillShare = share >= LeastFillShare && share <= 1.0 ? share : DefaultFillShare;
    options.precise = store.value(PreciseKey, false).toBool();
    const double last = store.value(LastFillShareKey, DefaultLastFillShare).toDouble();
    options.lastFillShare =
        last >= LeastLastFillShare && last <= LargestLastFillShare ? last : DefaultLastFillShare;
    options.repeatReads = store.value(RepeatReadsKey, false).toBool();
    options.lotNumber = store.value(LotNumberKey, false).toBool();
    options.lotPattern = store.value(LotPatternKey).toString();
    return options;
}

void DoseOptions::save(QSettings &store) const
{
    store.setValue(CorrectionKey, correction);
    store.setValue(CorrectionDosesKey, correctionDoses);
    store.setValue(CorrectionGainKey, correctionGain);
    store.setValue(FewestCyclesKey, fewestCycles);
    store.setValue(FillShareKey, fillShare);
    store.setValue(PreciseKey, precise);
    store.setValue(LastFillShareKey, lastFillShare);
    store.setValue(RepeatReadsKey, repeatReads);
    store.setValue(LotNumberKey, lotNumber);
    store.setValue(LotPatternKey, lotPattern);
}

QString DoseOptions::summary() const
{
    QStringList on;
    if (correction)
        on << QStringLiteral("поправка по %1 дозам, коэффициент %2")
                  .arg(correctionDoses)
                  .arg(correctionGain, 0, 'f', 2);
    if (fewestCycles)
        on << QStringLiteral("наименьшее число циклов, доза до %1 НПВ").arg(fillShare, 0, 'f', 2);
    if (precise)
        on << QStringLiteral("точно, доза до %1 НПВ, последняя до %2 НПВ")
                  .arg(fillShare, 0, 'f', 2)
                  .arg(lastFillShare, 0, 'f', 2);
    if (repeatReads)
        on << QStringLiteral("повтор запросов");
    if (lotNumber)
        on << (lotPattern.isEmpty() ? QStringLiteral("номер партии")
                                    : QStringLiteral("номер партии по шаблону %1").arg(lotPattern));
    return on.isEmpty() ? QStringLiteral("выключены") : on.join(QStringLiteral("; "));
}

bool DoseOptions::operator==(const DoseOptions &other) const
{
    return correction == other.correction && correctionDoses == other.correctionDoses
           && qFuzzyCompare(1 + correctionGain, 1 + other.correctionGain)
           && fewestCycles == other.fewestCycles
           && qFuzzyCompare(1 + fillShare, 1 + other.fillShare) && precise == other.precise
           && qFuzzyCompare(1 + lastFillShare, 1 + other.lastFillShare)
           && repeatReads == other.repeatReads && lotNumber == other.lotNumber
           && lotPattern == other.lotPattern;
}
