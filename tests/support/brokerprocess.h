#ifndef BROKERPROCESS_H
#define BROKERPROCESS_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// An MQTT broker (mosquitto) for a test, as a child process on a free port of 127.0.0.1 with a
// configuration of its own. Killed and started again it keeps its port and, from its
// persistence file, the sessions of durable readers, as a plant's broker does.
class BrokerProcess
{
public:
    BrokerProcess();
    ~BrokerProcess();
    BrokerProcess(const BrokerProcess &) = delete;
    BrokerProcess &operator=(const BrokerProcess &) = delete;

    // The broker program; empty when it is not installed.
    static QString program();
    // Only this user may connect (a configuration without anonymous clients).
    void requireUser(const QString &user, const QString &password);
    // False when it was not listening within timeoutMs.
    bool start(int timeoutMs = 10000);
    // SIGKILL: no goodbye to its clients.
    void kill();
    int port() const { return listenPort; }

private:
    bool writeConfiguration();
    bool isListening();

    QTemporaryDir folder;
    QProcess process;
    int listenPort = 0;
    QString user;
    QString password;
};

#endif // BROKERPROCESS_H
