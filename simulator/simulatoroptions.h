#ifndef SIMULATOROPTIONS_H
#define SIMULATOROPTIONS_H

#include "doserparameters.h"
#include "errorrule.h"
#include "faultrule.h"

#include <QCommandLineParser>

// The simulator's command line: the dosers on the line and their parameters, the line to serve,
// the scripted errors and line faults, and what to log. A doser's options take a comma list,
// one value per address in the order of --address, or one value for every doser.
class SimulatorOptions
{
public:
    enum class Outcome { Run, ShowHelp, ShowVersion, Invalid };

    SimulatorOptions();
    SimulatorOptions(const SimulatorOptions &) = delete;
    SimulatorOptions &operator=(const SimulatorOptions &) = delete;

    // Reads the arguments, program name first; on Invalid, errorText() says what is wrong.
    Outcome parse(const QStringList &arguments);
    QString errorText() const { return error; }
    QString helpText() const { return parser.helpText(); }

    // The scripted errors of the doser at `address`: its own and those of the whole line.
    QList<ErrorRule> errorsFor(int address) const;
    // The seed of the generators of the doser at `index` on the line: the first keeps the
    // line's, the others get seeds of their own that follow from it.
    static quint32 doserSeed(quint32 lineSeed, int index);

    // The first doser's parameters, the only ones when a single address is served.
    DoserParameters parameters;
    // Every doser on the line in the order of --address; the first is `parameters`.
    QList<DoserParameters> dosers;
    QString device;
    int baudRate = 38400;
    quint32 seed = 0;
    bool seedGiven = false;
    bool logFrames = false;
    bool quiet = false;
    QList<ErrorRule> errors;
    QList<FaultRule> faults;

private:
    bool read();
    bool readAddresses(QList<int> *addresses);
    bool readDoser(int index, DoserParameters *p);
    // Whether a rule's address is one of the line's; a rule for nobody is a slip.
    bool serves(int address, const QString &rule);
    // The value of a doser's option for the doser at `index`.
    QString valueFor(const QString &name, int index) const;
    bool readInt(const QString &name, const QString &text, int low, int high, int *value);
    bool readWeight(const QString &name, const QString &text, double low, double high,
                    double *value);
    bool readVersion(const QString &text, DoserParameters *p);
    bool invalid(const QString &text);

    QCommandLineParser parser;
    QString error;
};

#endif // SIMULATOROPTIONS_H
