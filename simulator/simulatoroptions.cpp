#include "simulatoroptions.h"

#include "doserline.h"

#include <climits>
#include <cmath>

namespace {

constexpr int LargestAddress = DoserParameters::LargestAddress;
// Odd, so every doser on the line gets a seed of its own.
constexpr quint32 DoserSeedStep = 0x9E3779B9u;
const QChar ListSeparator = QLatin1Char(',');
// The options that may differ from doser to doser.
const char *const DoserOptions[] = {
    "npd",
    "scale",
    "unit",
    "total-unit",
    "software-version",
    "plus-tolerance",
    "minus-tolerance",
    "dose",
    "feed-rate",
    "fine-rate",
    "in-flight",
    "settle-ms",
    "discharge-rate",
    "noise",
    "fill-error",
    "fill-spread",
    "fill-drift",
    "in-flight-error",
    "total-doses",
    "total-weight",
};
constexpr int LargestScale = 6;
constexpr int LargestUnit = 2;
constexpr double LargestValue = 0x7FFFFF;
constexpr double LargestCounter = 4294967295.0;
constexpr int LargestSettleMs = 600000;
constexpr double MaxFillErrorPercent = 50;

} // namespace

SimulatorOptions::SimulatorOptions()
{
    parser.setApplicationDescription(QStringLiteral(
        "Simulated K310 weighing doser. Serves the doser protocol on a pseudo-terminal of its\n"
        "own, whose path it prints as the first line of standard output, or on a serial\n"
        "device. Weights are in the doser's weight unit; logs go to standard error.\n"
        "A line of dosers: --address 30,31,32 serves one doser per address; a doser's option\n"
        "then takes a comma list, one value per address in that order (--npd 30,50,10), or one\n"
        "value for all.\n"
        "Error rules: CODE:fill=N, CODE:discharge=N, CODE:t=SECONDS, CODE:p=P or CODE:always.\n"
        "Fault rules: KIND:OPTION[,OPTION...], KIND one of drop, corrupt, split, delay, late,\n"
        "garbage, silent; options p=P, at=N (repeatable), every=N, ms=N, bytes=N, and reads\n"
        "(strike only replies to requests that read).\n"
        "Either rule takes ,addr=N to strike only the doser at address N (at= and every= then\n"
        "count its requests); without it, a rule applies to the whole line."));
    parser.addHelpOption();
    parser.addVersionOption();
    QList<QCommandLineOption> options = {
        {{"a", "address"},
         "Doser address on the line, 0-127, or a comma list of them.",
         "n[,n...]",
         "30"},
        {{"d", "device"}, "Serve this serial device instead of a pseudo-terminal.", "path"},
        {{"b", "baud"}, "Bit rate of the serial device.", "rate", "38400"},
        {"npd", "Upper weighing limit (НПВ).", "weight", "30"},
        {"scale", "Decimals of every weight, 0-6.", "n", "2"},
        {"unit", "Weight unit: 0 г, 1 кг, 2 т.", "n", "1"},
        {"total-unit", "Unit reported for the weight counters (default: --unit).", "n"},
        {"software-version", "Software version reported.", "number", "1.07"},
        {"plus-tolerance", "Plus tolerance of a dose.", "weight", "0.5"},
        {"minus-tolerance", "Minus tolerance of a dose.", "weight", "0.5"},
        {"dose", "Dose weight filled by the fill-dose and cycle orders.", "weight", "10"},
        {"feed-rate", "Coarse feed, weight per second.", "rate", "5"},
        {"fine-rate", "Fine feed for the end of a fill, weight per second.", "rate", "0.5"},
        {"in-flight", "Product still falling when the feed closes.", "weight", "0.05"},
        {"settle-ms", "Time the load takes to settle after a fill.", "ms", "500"},
        {"discharge-rate", "Discharge, weight per second.", "rate", "10"},
        {"noise", "Peak load cell noise.", "weight", "0.01"},
        {"fill-error", "Every fill misses its target by this many per cent.", "percent", "0"},
        {"fill-spread", "Standard deviation of a fill's miss, per cent.", "percent", "0"},
        {"fill-drift", "The miss grows by this many per cent every 100 fills.", "percent", "0"},
        {"in-flight-error", "Every fill ends this weight above its target besides.", "weight", "0"},
        {"total-doses", "Non-resettable dose count at start.", "n", "0"},
        {"total-weight", "Non-resettable weight at start.", "weight", "0"},
        {"seed", "Seed of noise, scripted chances and faults (default: random, logged).", "n"},
        {"error", "Script a doser error (repeatable).", "rule"},
        {"fault", "Inject a line fault into the replies (repeatable).", "rule"},
        {{"l", "log-frames"}, "Log every request and reply on one line."},
        {{"q", "quiet"}, "Log nothing but failures."},
    };
    for (QCommandLineOption &option : options) {
        for (const char *name : DoserOptions) {
            if (option.names().first() == QLatin1String(name))
                option.setValueName(option.valueName() + QStringLiteral("[,...]"));
        }
        if (!option.defaultValues().isEmpty())
            option.setDescription(QStringLiteral("%1 Default: %2.")
                                      .arg(option.description(), option.defaultValues().first()));
        parser.addOption(option);
    }
}

bool SimulatorOptions::invalid(const QString &text)
{
    error = text;
    return false;
}

bool SimulatorOptions::readInt(const QString &name, const QString &text, int low, int high,
                               int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < low || number > high)
        return invalid(QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                           .arg(name)
                           .arg(low)
                           .arg(high)
                           .arg(text));
    *value = number;
    return true;
}

bool SimulatorOptions::readWeight(const QString &name, const QString &text, double low, double high,
                                  double *value)
{
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !(number >= low && number <= high))
        return invalid(QStringLiteral("--%1 must be a number from %2 to %3, not \"%4\"")
                           .arg(name)
                           .arg(low)
                           .arg(high)
                           .arg(text));
    *value = number;
    return true;
}

bool SimulatorOptions::readVersion(const QString &text, DoserParameters *p)
{
    const int point = text.indexOf(QLatin1Char('.'));
    const int decimals = point < 0 ? 0 : int(text.size()) - point - 1;
    QString digits = text;
    digits.remove(QLatin1Char('.'));
    bool ok = !digits.isEmpty() && text.count(QLatin1Char('.')) <= 1 && decimals <= LargestScale;
    for (const QChar c : std::as_const(digits))
        ok = ok && c.isDigit();
    const qulonglong value = ok ? digits.toULongLong(&ok) : 0;
    if (!ok || value > qulonglong(LargestValue))
        return invalid(
            QStringLiteral("--software-version must be a number like 1.07, not \"%1\"").arg(text));
    p->versionValue = quint32(value);
    p->versionDecimals = decimals;
    return true;
}

SimulatorOptions::Outcome SimulatorOptions::parse(const QStringList &arguments)
{
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return Outcome::Invalid;
    }
    if (parser.isSet(QStringLiteral("help")))
        return Outcome::ShowHelp;
    if (parser.isSet(QStringLiteral("version")))
        return Outcome::ShowVersion;
    if (!parser.positionalArguments().isEmpty()) {
        error =
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return Outcome::Invalid;
    }
    return read() ? Outcome::Run : Outcome::Invalid;
}

QString SimulatorOptions::valueFor(const QString &name, int index) const
{
    const QStringList values = parser.value(name).split(ListSeparator);
    return values.size() == 1 ? values.first() : values.value(index);
}

bool SimulatorOptions::serves(int address, const QString &rule)
{
    if (address == DoserParameters::AnyAddress)
        return true;
    for (const DoserParameters &p : std::as_const(dosers)) {
        if (p.address == address)
            return true;
    }
    return invalid(
        QStringLiteral("\"%1\": no doser at address %2 on the line").arg(rule).arg(address));
}

QList<ErrorRule> SimulatorOptions::errorsFor(int address) const
{
    QList<ErrorRule> own;
    for (const ErrorRule &rule : errors) {
        if (rule.appliesTo(address))
            own.append(rule);
    }
    return own;
}

quint32 SimulatorOptions::doserSeed(quint32 lineSeed, int index)
{
    return lineSeed ^ (quint32(index) * DoserSeedStep);
}

bool SimulatorOptions::readAddresses(QList<int> *addresses)
{
    const QString name = QStringLiteral("address");
    for (const QString &text : parser.value(name).split(ListSeparator)) {
        int address = 0;
        if (!readInt(name, text, 0, LargestAddress, &address))
            return false;
        if (addresses->contains(address))
            return invalid(QStringLiteral("--address %1 is given twice").arg(address));
        addresses->append(address);
    }
    for (const char *option : DoserOptions) {
        const QString optionName = QString::fromLatin1(option);
        const qsizetype count = parser.value(optionName).split(ListSeparator).size();
        if (count != 1 && count != addresses->size())
            return invalid(QStringLiteral("--%1 has %2 values for %3 addresses: give one for "
                                          "all or one per address")
                               .arg(optionName)
                               .arg(count)
                               .arg(addresses->size()));
    }
    return true;
}

bool SimulatorOptions::readDoser(int index, DoserParameters *p)
{
    auto readIntFor = [this, index](const char *option, int low, int high, int *value) {
        const QString name = QString::fromLatin1(option);
        return readInt(name, valueFor(name, index), low, high, value);
    };
    auto readWeightFor = [this, index](const char *option, double low, double high, double *value) {
        const QString name = QString::fromLatin1(option);
        return readWeight(name, valueFor(name, index), low, high, value);
    };
    if (!readIntFor("scale", 0, LargestScale, &p->scale)
        || !readIntFor("unit", 0, LargestUnit, &p->unit))
        return false;
    p->totalUnit = p->unit;
    if (parser.isSet(QStringLiteral("total-unit"))
        && !readIntFor("total-unit", 0, LargestUnit, &p->totalUnit))
        return false;
    // Every weight must fit the signed 24-bit value field with the chosen decimals.
    const double digitsPerUnit = double(p->digitsPerUnit());
    const double largestWeight = LargestValue / digitsPerUnit;
    const double step = 1 / digitsPerUnit;
    if (!readWeightFor("npd", step, largestWeight, &p->npd)
        || !readWeightFor("plus-tolerance", 0, p->npd, &p->plusTolerance)
        || !readWeightFor("minus-tolerance", 0, p->npd, &p->minusTolerance)
        || !readWeightFor("dose", step, p->npd, &p->doseWeight)
        || !readWeightFor("feed-rate", step, largestWeight, &p->feedRate)
        || !readWeightFor("fine-rate", step, largestWeight, &p->fineRate)
        || !readWeightFor("in-flight", 0, p->npd, &p->inFlight)
        || !readWeightFor("discharge-rate", step, largestWeight, &p->dischargeRate)
        || !readWeightFor("noise", 0, p->npd, &p->noise)
        || !readWeightFor("fill-error", -MaxFillErrorPercent, MaxFillErrorPercent,
                          &p->fillErrorPercent)
        || !readWeightFor("fill-spread", 0, MaxFillErrorPercent, &p->fillSpreadPercent)
        || !readWeightFor("fill-drift", -MaxFillErrorPercent, MaxFillErrorPercent,
                          &p->fillDriftPercent)
        || !readWeightFor("in-flight-error", -p->npd, p->npd, &p->inFlightError)
        || !readIntFor("settle-ms", 0, LargestSettleMs, &p->settleMs)
        || !readVersion(valueFor(QStringLiteral("software-version"), index), p))
        return false;

    double number = 0;
    if (!readWeightFor("total-doses", 0, LargestCounter, &number))
        return false;
    p->totalDoses = quint32(number);
    if (!readWeightFor("total-weight", 0, LargestCounter / digitsPerUnit, &number))
        return false;
    p->totalWeightDigits = quint32(std::llround(number * digitsPerUnit));
    return true;
}

bool SimulatorOptions::read()
{
    QList<int> addresses;
    if (!readAddresses(&addresses))
        return false;
    dosers.clear();
    for (int i = 0; i < addresses.size(); ++i) {
        DoserParameters p;
        p.address = addresses.at(i);
        if (!readDoser(i, &p))
            return false;
        dosers.append(p);
    }
    parameters = dosers.first();

    device = parser.value(QStringLiteral("device"));
    if (!readInt(QStringLiteral("baud"), parser.value(QStringLiteral("baud")), 1, INT_MAX,
                 &baudRate))
        return false;
    if (!DoserLine::isSupportedRate(baudRate))
        return invalid(QStringLiteral("--baud %1 is not a supported bit rate").arg(baudRate));
    seedGiven = parser.isSet(QStringLiteral("seed"));
    if (seedGiven) {
        bool ok = false;
        seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok)
            return invalid(QStringLiteral("--seed must be a whole number from 0 to 4294967295"));
    }
    logFrames = parser.isSet(QStringLiteral("log-frames"));
    quiet = parser.isSet(QStringLiteral("quiet"));

    errors.clear();
    for (const QString &text : parser.values(QStringLiteral("error"))) {
        ErrorRule rule;
        if (!ErrorRule::parse(text, &rule, &error) || !serves(rule.address, text))
            return false;
        errors.append(rule);
    }
    faults.clear();
    for (const QString &text : parser.values(QStringLiteral("fault"))) {
        FaultRule rule;
        if (!FaultRule::parse(text, &rule, &error) || !serves(rule.address, text))
            return false;
        faults.append(rule);
    }
    return true;
}
