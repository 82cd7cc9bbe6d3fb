#include "brokerprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

// Debian puts the broker in sbin, which a user's PATH may lack.
const QStringList ProgramFolders {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")};
constexpr int ProbeMs = 50;

// Started by root the broker would become "mosquitto" and lose its own folder.
QString accountName()
{
    const passwd *account = getpwuid(getuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString();
}

int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

BrokerProcess::BrokerProcess()
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

BrokerProcess::~BrokerProcess()
{
    kill();
}

QString BrokerProcess::program()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    return found.isEmpty()
               ? QStandardPaths::findExecutable(QStringLiteral("mosquitto"), ProgramFolders)
               : found;
}

void BrokerProcess::requireUser(const QString &name, const QString &secret)
{
    user = name;
    password = secret;
}

bool BrokerProcess::writeConfiguration()
{
    if (listenPort == 0)
        listenPort = freePort();
    QString text = QStringLiteral("listener %1 127.0.0.1\n"
                                  "persistence true\n"
                                  "persistence_location %2/\n"
                                  "autosave_interval 1\n"
                                  "set_tcp_nodelay true\n"
                                  "log_dest stderr\n"
                                  "log_type error\n")
                       .arg(listenPort)
                       .arg(folder.path());
    if (!accountName().isEmpty())
        text += QStringLiteral("user %1\n").arg(accountName());
    if (user.isEmpty()) {
        text += QStringLiteral("allow_anonymous true\n");
    } else {
        text += QStringLiteral("allow_anonymous false\n");
        const QString passwords = folder.filePath(QStringLiteral("passwords"));
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("mosquitto_passwd"));
        // Without the tool no user is known, which refuses every client all the same.
        if (!tool.isEmpty()
            && QProcess::execute(
                   tool, {QStringLiteral("-b"), QStringLiteral("-c"), passwords, user, password})
                   == 0)
            text += QStringLiteral("password_file %1\n").arg(passwords);
    }
    QFile file(folder.filePath(QStringLiteral("mosquitto.conf")));
    return listenPort != 0 && file.open(QIODevice::WriteOnly)
           && file.write(text.toUtf8()) == text.toUtf8().size();
}

bool BrokerProcess::isListening()
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, quint16(listenPort));
    return probe.waitForConnected(ProbeMs);
}

bool BrokerProcess::start(int timeoutMs)
{
    if (program().isEmpty() || !folder.isValid() || !writeConfiguration())
        return false;
    process.start(program(),
                  {QStringLiteral("-c"), folder.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process.waitForStarted(timeoutMs))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!isListening()) {
        if (clock.hasExpired(timeoutMs) || process.state() != QProcess::Running)
            return false;
        QTest::qWait(ProbeMs);
    }
    return true;
}

void BrokerProcess::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished();
}
