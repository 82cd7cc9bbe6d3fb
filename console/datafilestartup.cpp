#include "datafilestartup.h"

#include "databackup.h"
#include "database.h"
#include "datafilecheck.h"
#include "filemodes.h"
#include "operatormessages.h"

#include <QAbstractButton>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QWidget>

#include <memory>

namespace {

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

DataFileStartup::DataFileStartup(const QString &databaseFile, const ModalPrompts &replacement)
    : file(databaseFile)
    , prompts(replacement)
{ }

DataFileStartup::Outcome DataFileStartup::run(const QDateTime &now)
{
    Outcome outcome = Outcome::Sound;
    if (!DataFileCheck::isSound(file))
        outcome = recover(now);
    if (outcome == Outcome::Sound || outcome == Outcome::Restored)
        copyBeforeNewTables(now);
    // Made here, before SQLite would make it readable by everybody.
    FileModes::createPrivate(file);
    return outcome;
}

DataFileStartup::Outcome DataFileStartup::recover(const QDateTime &now)
{
    DataFileCheck check(file);
    const QString aside = check.keepAside(now);
    if (aside.isEmpty()) {
        inform(QStringLiteral("Файл базы данных %1 повреждён и не может быть перемещён.")
                   .arg(shownPath(file)));
        return Outcome::LeftInPlace;
    }
    qWarning().noquote() << QStringLiteral("damaged %1 kept as %2").arg(file, aside);

    const QString damaged =
        QStringLiteral("Файл базы данных повреждён и сохранён как %1.").arg(shownPath(aside));
    const QString copy = check.newestSoundCopy();
    if (copy.isEmpty()) {
        inform(damaged + QStringLiteral(" Резервной копии нет, начата новая база данных."));
        return Outcome::StartedEmpty;
    }
    const QString madeAt = DataBackup::madeAt(copy).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (!ask(damaged
             + QStringLiteral(" Восстановить данные из резервной копии от %1?").arg(madeAt)))
        return Outcome::StartedEmpty;
    if (!check.restore(copy)) {
        inform(QStringLiteral("Не удалось восстановить данные из резервной копии %1. Начата новая "
                              "база данных.")
                   .arg(shownPath(copy)));
        return Outcome::StartedEmpty;
    }
    return Outcome::Restored;
}

void DataFileStartup::copyBeforeNewTables(const QDateTime &now)
{
    if (!QFile::exists(file) || QFileInfo(file).size() == 0)
        return;
    bool current = false;
    {
        Database database(file);
        current = database.hasAllTables();
    }
    if (current)
        return;
    DataBackup backup(file);
    if (backup.makeCopy(now).isEmpty())
        qWarning().noquote() << QStringLiteral("no copy of %1 before its new tables: %2")
                                    .arg(file, backup.lastError());
}

bool DataFileStartup::ask(const QString &text)
{
    QWidget host;
    QAbstractButton *yes = nullptr;
    const std::unique_ptr<QMessageBox> box(OperatorMessages::makeQuestionBox(&host, &yes));
    box->setText(text);
    return prompts.runBox(box.get()) == yes;
}

void DataFileStartup::inform(const QString &text)
{
    QWidget host;
    const std::unique_ptr<QMessageBox> box(OperatorMessages::makeWarningBox(&host));
    box->setText(text);
    prompts.runBox(box.get());
}
