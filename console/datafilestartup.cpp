#include "datafilestartup.h"

#include "butchrecords.h"
#include "consolelog.h"
#include "databackup.h"
#include "database.h"
#include "datafilecheck.h"
#include "datasalvage.h"
#include "eventjournal.h"
#include "filemodes.h"
#include "knownseal.h"
#include "operatormessages.h"

#include <QAbstractButton>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProgressDialog>
#include <QWidget>

#include <memory>

namespace {

// Building the statistics' summaries of years of records takes seconds; shorter work shows
// nothing.
constexpr int ProgressAfterMs = 1000;

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
    HighWaterMark::Ids held;
    if (!DataFileCheck::isSound(file))
        outcome = recover(now, Reason::Damaged);
    else if (isBehindMark(held))
        outcome = recover(now, Reason::Behind, held);
    if (outcome == Outcome::Sound)
        copyBeforeNewTables(now);
    // Made here, before SQLite would make it readable by everybody.
    FileModes::createPrivate(file);
    if (outcome != Outcome::LeftInPlace)
        makeTables();
    return outcome;
}

void DataFileStartup::makeTables()
{
    Database database(file);
    std::unique_ptr<QProgressDialog> progress;
    const auto show = [&progress](int done, int total) {
        if (!progress) {
            progress = std::make_unique<QProgressDialog>();
            progress->setWindowTitle(QStringLiteral("Статистика"));
            progress->setLabelText(QStringLiteral("Подготовка статистики по дням…"));
            progress->setCancelButton(nullptr);
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(ProgressAfterMs);
            progress->setRange(0, total);
            // The dialog's clock starts here; it shows itself once the rest looks longer.
            progress->setValue(0);
        }
        progress->setValue(done);
    };
    if (!database.createTables(show))
        qCWarning(lcConsole).noquote()
            << QStringLiteral("tables of %1 not made: %2").arg(file, database.lastErrorMessage());
}

void DataFileStartup::closeRecords(const QString &databaseFile)
{
    Database database(databaseFile);
    if (!database.isOpen())
        return;
    database.checkpoint(Database::Checkpoint::Truncate);
    const HighWaterMark::Ids held = HighWaterMark::inFile(database);
    if (held.butch >= 0 && held.task >= 0 && held.event >= 0)
        HighWaterMark(databaseFile).raise(held);
}

bool DataFileStartup::isBehindMark(HighWaterMark::Ids &held) const
{
    const HighWaterMark::Ids mark = HighWaterMark(file).ids();
    if (!HighWaterMark::Ids().isBehind(mark))
        return false;
    if (QFile::exists(file) && QFileInfo(file).size() > 0) {
        Database database(file);
        if (!database.isOpen())
            return false;
        held = HighWaterMark::inFile(database);
        // A file that cannot be read now (locked) is not judged.
        if (held.butch < 0 || held.task < 0 || held.event < 0)
            return false;
    }
    return held.isBehind(mark);
}

DataFileStartup::Outcome DataFileStartup::recover(const QDateTime &now, Reason reason,
                                                  const HighWaterMark::Ids &held)
{
    DataFileCheck check(file);
    const bool present = QFile::exists(file);
    const QString aside = present ? check.keepAside(now) : QString();
    if (present && aside.isEmpty()) {
        inform(QStringLiteral("Файл базы данных %1 повреждён и не может быть перемещён.")
                   .arg(shownPath(file)));
        return Outcome::LeftInPlace;
    }
    qCWarning(lcConsole).noquote()
        << QStringLiteral("%1 %2 kept as %3")
               .arg(QLatin1String(reason == Reason::Damaged ? "damaged" : "behind"), file, aside);

    QString found;
    if (reason == Reason::Damaged) {
        found =
            QStringLiteral("Файл базы данных повреждён и сохранён как %1.").arg(shownPath(aside));
    } else {
        const HighWaterMark::Ids mark = HighWaterMark(file).ids();
        found = QStringLiteral("В файле базы данных нет последних записей: в нём партии до №%1 и "
                               "события до №%2, а выданы были партии до №%3 и события до №%4 "
                               "(потерян журнал записей data.db-wal или возвращена старая "
                               "копия).")
                    .arg(held.butch)
                    .arg(held.event)
                    .arg(mark.butch)
                    .arg(mark.event);
        if (!aside.isEmpty())
            found += QStringLiteral(" Файл сохранён как %1.").arg(shownPath(aside));
    }
    Outcome outcome = Outcome::StartedEmpty;
    const QString copy = check.newestSoundCopy();
    if (copy.isEmpty()) {
        // Nothing to ask: one message with what could be brought back.
        inform(found + QStringLiteral(" Резервной копии нет, начата новая база данных. ")
               + salvage(aside, reason));
        return outcome;
    }
    const QString madeAt = DataBackup::madeAt(copy).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (ask(found + QStringLiteral(" Восстановить данные из резервной копии от %1?").arg(madeAt))) {
        if (check.restore(copy)) {
            outcome = Outcome::Restored;
            copyBeforeNewTables(now);
        } else {
            inform(QStringLiteral("Не удалось восстановить данные из резервной копии %1. Начата "
                                  "новая база данных.")
                       .arg(shownPath(copy)));
        }
    }
    inform(salvage(aside, reason));
    return outcome;
}

QString DataFileStartup::salvage(const QString &aside, Reason reason)
{
    const HighWaterMark::Ids mark = HighWaterMark(file).ids();
    FileModes::createPrivate(file);
    {
        Database database(file);
        if (!database.createTables())
            return QStringLiteral("Файл базы данных не создан: %1.")
                .arg(database.lastErrorMessage());
    }
    QString text;
    if (!aside.isEmpty()) {
        const DataSalvage::Result result =
            DataSalvage(aside, file, DataFileCheck(file).newestSoundCopy())
                .merge(reason == Reason::Damaged ? DataSalvage::Newer::Kept
                                                 : DataSalvage::Newer::Target,
                       mark.butch, mark.event, mark.dose);
        text = QStringLiteral("Из сохранённого файла перенесено: партий %1, доз %2, событий %3. "
                              "Не удалось прочитать: партий %4, доз %5, событий %6.")
                   .arg(result.butches.recovered)
                   .arg(result.doses.recovered)
                   .arg(result.events.recovered)
                   .arg(result.butches.lost)
                   .arg(result.doses.lost)
                   .arg(result.events.lost);
        if (!result.merged)
            text = QStringLiteral("Сохранённый файл прочитать не удалось (%1).").arg(result.error);
        if (!result.sound)
            text += QStringLiteral(" Проверка восстановленного файла нашла ошибки.");
    }
    Database database(file);
    const HighWaterMark::Ids now = HighWaterMark::inFile(database);
    if (now.isBehind(mark))
        text += QStringLiteral(" Номера партий и событий продолжатся после №%1 и №%2.")
                    .arg(mark.butch)
                    .arg(mark.event);
    // The file as it now stands is the records: the next start must not find it behind again.
    const WriteResult accepted = ButchRecords(database).acceptIssued(mark);
    if (!accepted)
        text += QStringLiteral(" Выданные номера не записаны в data.db (%1): при следующем "
                               "запуске файл снова окажется позади отметки.")
                    .arg(accepted.reason());
    // A published seal of a row that could not be brought back stays as evidence of the loss,
    // under another name: the journal is sealed on from what it now holds.
    const KnownSeal known = KnownSeal::read(file);
    if (known.isSet() && KnownSeal::row(database, known.id).seal != known.seal) {
        const QString kept = KnownSeal::fileBeside(file);
        QFile::rename(
            kept, kept + QStringLiteral(".lost-")
                      + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        text += QStringLiteral(" Печать журнала с последней партии (%1) в файле не найдена.")
                    .arg(known.text());
    }
    {
        EventJournal journal(file);
        journal.record(JournalEvent::RecordsRecovered, text.trimmed());
    }
    return text.trimmed();
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
        qCWarning(lcConsole).noquote() << QStringLiteral("no copy of %1 before its new tables: %2")
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
