// Resets the levels' PINs in data.db when the Наладчик PIN is lost. Run at the panel computer
// by its administrator, in the console's working folder, while the console is closed; the
// reset is journaled with the account that made it. There is no way to do this in the console.
#include "accessstore.h"
#include "database.h"
#include "datafileaccess.h"
#include "eventjournal.h"
#include "journalkey.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>

namespace {

QString accountName()
{
    for (const char *variable : {"SUDO_USER", "USER", "USERNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    return QStringLiteral("неизвестна");
}

void print(FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Access levels of the operator console in data.db."));
    parser.addHelpOption();
    const QCommandLineOption reset(QStringLiteral("reset-pins"),
                                   QStringLiteral("Remove every PIN: access levels are off "
                                                  "until a new Наладчик PIN is set."));
    const QCommandLineOption status(QStringLiteral("status"),
                                    QStringLiteral("Tell which levels have a PIN."));
    parser.addOption(reset);
    parser.addOption(status);
    parser.addPositionalArgument(QStringLiteral("data.db"),
                                 QStringLiteral("The console's records (default: ./data.db)."));
    parser.process(application);

    const QStringList files = parser.positionalArguments();
    const QString file = files.isEmpty() ? QString::fromLatin1(DatabaseFileName) : files.first();
    if (!QFileInfo::exists(file)) {
        print(stderr, QStringLiteral("%1: no such file").arg(file));
        return 2;
    }
    if (!parser.isSet(reset) && !parser.isSet(status)) {
        parser.showHelp(1);
    }

    Database database(file);
    AccessStore store(database);
    if (parser.isSet(status)) {
        if (store.isDamaged())
            print(stdout, QStringLiteral("level table damaged: %1").arg(store.problem()));
        for (AccessLevel level : {AccessLevel::Technologist, AccessLevel::Engineer})
            print(stdout,
                  QStringLiteral("%1: %2").arg(accessLevelCaption(level),
                                               store.hasPin(level) ? QStringLiteral("PIN set")
                                                                   : QStringLiteral("no PIN")));
        if (!parser.isSet(reset))
            return 0;
    }

    if (const QString problem = DataFileAccess::writeProblem(database); !problem.isEmpty()) {
        print(stderr, QStringLiteral("PINs not reset: %1").arg(problem));
        return 1;
    }
    // The reset's journal row is sealed with the console's key, which this program never makes:
    // one made here, by the administrator's account, would not be the console's.
    const JournalKey key = JournalKey::open(file, JournalKey::WhenMissing::Fail);
    if (!key.isValid()) {
        print(stderr, QStringLiteral("PINs not reset: the journal's key: %1").arg(key.problem()));
        return 1;
    }
    if (!store.resetPins()) {
        print(stderr, QStringLiteral("PINs not reset: %1").arg(store.problem()));
        return 1;
    }
    EventJournal journal(file, JournalKey::WhenMissing::Fail);
    journal.record(JournalEvent::PinsReset,
                   QStringLiteral("PIN сброшены программой k310access, учётная запись %1 на %2")
                       .arg(accountName(), QSysInfo::machineHostName()));
    if (!journal.flush()) {
        print(stderr, QStringLiteral("PINs reset, but the journal entry was not written"));
        return 1;
    }
    print(stdout, QStringLiteral("PINs reset; access levels are off until a Наладчик PIN is set."));
    return 0;
}
