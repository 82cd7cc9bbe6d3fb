#ifndef SIMULATOROPTIONS_H
#define SIMULATOROPTIONS_H

#include "doserparameters.h"
#include "errorrule.h"
#include "faultrule.h"

#include <QCommandLineParser>

// The simulator's command line: the doser's parameters, the line to serve, the scripted errors
// and line faults, and what to log.
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

    DoserParameters parameters;
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
    bool readInt(const QString &name, int low, int high, int *value);
    bool readWeight(const QString &name, double low, double high, double *value);
    bool readVersion(const QString &text);
    bool invalid(const QString &text);

    QCommandLineParser parser;
    QString error;
};

#endif // SIMULATOROPTIONS_H
