#ifndef SIMULATORPROCESS_H
#define SIMULATORPROCESS_H

#include <QProcess>
#include <QStringList>

// Runs the simulated doser as a program for a test: starts it, waits for the port path it
// prints first, and ends it again. Its log goes to the test's standard error.
class SimulatorProcess
{
public:
    explicit SimulatorProcess(const QString &program);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts it with the arguments; false when no port path came within timeoutMs.
    bool start(const QStringList &arguments = {}, int timeoutMs = 10000);
    QString portPath() const { return path; }
    qint64 processId() const { return process.processId(); }
    // How long the program took from its start to printing the port path.
    qint64 startupMs() const { return startup; }
    // Ends it with SIGTERM; its exit code, or -1 when it crashed or did not end in time.
    int stop(int timeoutMs = 5000);
    // Runs it to its end without a line, for flags like --help; its exit code and output.
    int runToEnd(const QStringList &arguments, QByteArray *output, int timeoutMs = 10000);

private:
    QString program;
    QProcess process;
    QString path;
    qint64 startup = -1;
};

#endif // SIMULATORPROCESS_H
