#ifndef SIMULATORPROCESS_H
#define SIMULATORPROCESS_H

#include <QProcess>
#include <QStringList>

// Runs the simulated doser as a program for a test: starts it, waits for the port path it
// prints first, and ends it again. Its log goes to the test's standard error and is kept, so a
// test can read what the doser did (with --log-frames, every request and reply).
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
    // Pulls the line's cable out and plugs it in again (requests are logged, not answered).
    void unplug();
    void plugIn();
    // The log lines so far (events are processed while a test waits, or call this to read).
    QStringList logLines();

    // Runs it to its end without a line, for flags like --help; its exit code and output.
    int runToEnd(const QStringList &arguments, QByteArray *output, int timeoutMs = 10000);

private:
    void collectLog();

    QString program;
    QProcess process;
    QString path;
    qint64 startup = -1;
    QByteArray log;
};

#endif // SIMULATORPROCESS_H
