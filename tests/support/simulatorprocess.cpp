#include "simulatorprocess.h"

#include <QElapsedTimer>

#include <csignal>
#include <cstdio>

SimulatorProcess::SimulatorProcess(const QString &simulator)
    : program(simulator)
{
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                     [this] { collectLog(); });
}

void SimulatorProcess::collectLog()
{
    const QByteArray text = process.readAllStandardError();
    log += text;
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
}

SimulatorProcess::~SimulatorProcess()
{
    if (process.state() != QProcess::NotRunning && stop() < 0) {
        process.kill();
        process.waitForFinished();
    }
}

bool SimulatorProcess::start(const QStringList &arguments, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return false;
    while (!process.canReadLine()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !process.waitForReadyRead(int(left)))
            return false;
    }
    startup = clock.elapsed();
    path = QString::fromLocal8Bit(process.readLine().trimmed());
    return !path.isEmpty();
}

int SimulatorProcess::stop(int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    process.terminate();
    if (!process.waitForFinished(timeoutMs))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void SimulatorProcess::unplug()
{
    ::kill(pid_t(process.processId()), SIGUSR1);
}

void SimulatorProcess::plugIn()
{
    ::kill(pid_t(process.processId()), SIGUSR2);
}

QStringList SimulatorProcess::logLines()
{
    collectLog();
    return QString::fromUtf8(log).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int SimulatorProcess::runToEnd(const QStringList &arguments, QByteArray *output, int timeoutMs)
{
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs))
        return -1;
    *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
