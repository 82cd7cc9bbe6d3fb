#include "butchreport.h"
#include "database.h"
#include "doserecords.h"
#include "eventjournal.h"
#include "journal.h"
#include "keyboarddriver.h"
#include "knownseal.h"
#include "temporarydatabase.h"
#include "windows1251.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTest>

namespace {

const QString FirstDay = QStringLiteral("01.03.2024");
const QString LastDay = QStringLiteral("03.03.2024");

JournalEvent eventAt(const QString &day, const QString &time, JournalEvent::Kind kind,
                     qint64 butch = JournalEvent::NoButch, const QString &text = QString())
{
    JournalEvent event;
    event.moment = QDateTime::fromString(day + u' ' + time, "dd.MM.yyyy hh:mm:ss");
    event.kind = kind;
    event.butchId = butch;
    event.deviceId = butch == JournalEvent::NoButch ? JournalEvent::NoDevice : 30;
    event.text = text;
    return event;
}

void record(const QString &fileName, const QList<JournalEvent> &events)
{
    EventJournal journal(fileName);
    for (const JournalEvent &event : events)
        journal.record(event);
}

// Three days: batch 1 with an alarm on the first, batch 2 on the second, a lost link on the last.
void addThreeDays(const QString &fileName)
{
    record(fileName, {eventAt(FirstDay, "07:59:00", JournalEvent::ProgramStarted),
                      eventAt(FirstDay, "08:00:00", JournalEvent::ButchStarted, 1),
                      eventAt(FirstDay, "08:05:00", JournalEvent::DoserAlarm, 1, "нет продукта"),
                      eventAt("02.03.2024", "09:00:00", JournalEvent::ButchStarted, 2),
                      eventAt("02.03.2024", "09:30:00", JournalEvent::ButchFinished, 2),
                      eventAt(LastDay, "10:00:00", JournalEvent::ConnectionLost),
                      eventAt(LastDay, "10:00:02", JournalEvent::ConnectionRestored)});
}

QStringList shown(const Journal &journal)
{
    QStringList rows;
    for (const JournalEvent &event : journal.shownEvents())
        rows << event.moment.toString("dd.MM hh:mm:ss ") + JournalEvent::caption(event.kind);
    return rows;
}

// The cells of one line of a semicolon-separated file; empty when the quoting is broken.
QList<QByteArray> cellsOf(const QByteArray &line)
{
    QList<QByteArray> cells;
    qsizetype i = 0;
    while (i < line.size()) {
        QByteArray cell;
        if (line.at(i) == '"') {
            for (++i;; ++i) {
                if (i >= line.size())
                    return {};
                if (line.at(i) == '"' && i + 1 < line.size() && line.at(i + 1) == '"')
                    cell += line.at(i++);
                else if (line.at(i) == '"')
                    break;
                else
                    cell += line.at(i);
            }
            ++i;
        } else {
            while (i < line.size() && line.at(i) != ';')
                cell += line.at(i++);
        }
        if (i >= line.size() || line.at(i) != ';')
            return {};
        ++i;
        cells << cell;
    }
    return cells;
}

QString fromWindows1251(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1251");
    return decoder.decode(bytes);
}

void saveScreenshot(const QImage &image, const QString &name)
{
    const QString output = qEnvironmentVariable("K310_TEST_OUTPUT");
    if (!output.isEmpty() && QDir().mkpath(output))
        image.save(output + u'/' + name);
}

} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void showsTheNewestDayNewestFirstFilteredByKindOrBatch();
    void hostileTextsStayOneCellOfOneRowPerEvent();
    void reportOfTheChosenBatchIsOnePdfPageNamedAfterIt();
    void closingOnlyHides();
    void checkFindsACutTailAgainstTheRememberedSeal();
};

void tst_Journal::cleanup()
{
    if (QDialog *keyboard = KeyboardDriver::openKeyboard())
        keyboard->reject();
}

void tst_Journal::showsTheNewestDayNewestFirstFilteredByKindOrBatch()
{
    TemporaryDatabase records;
    addThreeDays(records.path());
    Journal journal(records.path());
    journal.show();

    journal.fillDates();
    QCOMPARE(journal.fromComboBox->currentText(), LastDay);
    QCOMPARE(shown(journal),
             QStringList({"03.03 10:00:02 Связь восстановлена", "03.03 10:00:00 Связь потеряна"}));

    journal.fromComboBox->setCurrentIndex(0);
    QCOMPARE(journal.toComboBox->count(), 3);
    QCOMPARE(shown(journal).size(), 3);
    journal.toComboBox->setCurrentIndex(2);
    QCOMPARE(shown(journal).size(), 7);
    QCOMPARE(shown(journal).first(), QString("03.03 10:00:02 Связь восстановлена"));

    journal.kindComboBox->setCurrentIndex(
        journal.kindComboBox->findData(int(JournalEvent::ButchStarted)));
    QCOMPARE(shown(journal),
             QStringList({"02.03 09:00:00 Партия начата", "01.03 08:00:00 Партия начата"}));

    // The operator types batch 1 on the on-screen keyboard: its events whatever the days.
    journal.kindComboBox->setCurrentIndex(0);
    journal.fromComboBox->setCurrentIndex(2);
    QTest::mouseClick(journal.butchEdit, Qt::LeftButton);
    QVERIFY(KeyboardDriver::openKeyboard());
    QVERIFY(KeyboardDriver::type("1"));
    QVERIFY(KeyboardDriver::press("Enter"));
    QCOMPARE(journal.butchEdit->text(), QString("1"));
    QCOMPARE(shown(journal),
             QStringList({"01.03 08:05:00 Авария дозатора", "01.03 08:00:00 Партия начата"}));

    QTest::mouseClick(journal.butchEdit, Qt::LeftButton);
    QVERIFY(KeyboardDriver::press("Enter"));
    QCOMPARE(journal.butchEdit->text(), QString());
    QCOMPARE(shown(journal).size(), 2);
}

void tst_Journal::hostileTextsStayOneCellOfOneRowPerEvent()
{
    const QStringList texts {"Сахар \"Экстра\"; в/с.",
                             "строка 1\nстрока 2\r\nстрока 3",
                             "хлеб 🍞 и \u2028 разделитель",
                             "\"\"\";;;\"",
                             "конец\x1a файла",
                             "\t",
                             "ＦＵＬＬＷＩＤＴＨ ＂ ；"};
    const QStringList expected {"Сахар \"Экстра\"; в/с.", "строка 1 строка 2  строка 3",
                                "хлеб ? и ? разделитель", "\"\"\";;;\"",
                                "конец? файла",           "\t",
                                "????????? ? ?"};
    TemporaryDatabase records;
    QList<JournalEvent> events;
    for (const QString &text : texts)
        events << eventAt(FirstDay, "08:00:00", JournalEvent::DoserAlarm, 5, text);
    record(records.path(), events);
    Journal journal(records.path());
    journal.fillDates();
    QTemporaryDir folder;
    const QString fileName = folder.filePath("journal.csv");

    QVERIFY(journal.saveCsv(fileName));
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 3 + texts.size() + 1);
    QCOMPARE(lines.at(1), QByteArray());
    QCOMPARE(cellsOf(lines.at(2)).size(), 7);
    QCOMPARE(lines.last(), QByteArray());
    for (int i = 0; i < texts.size(); ++i) {
        const QList<QByteArray> cells = cellsOf(lines.at(3 + i));
        QCOMPARE(cells.size(), 7);
        QCOMPARE(cells.at(0), QByteArray("01.03.2024"));
        QCOMPARE(cells.at(3), QByteArray("5"));
        // Newest first: the last text recorded comes first.
        QCOMPARE(fromWindows1251(cells.at(6)), expected.at(texts.size() - 1 - i));
    }
}

void tst_Journal::reportOfTheChosenBatchIsOnePdfPageNamedAfterIt()
{
    TemporaryDatabase records;
    QVERIFY(Database(records.path()).createTables());
    const int butch = records.addButch(FirstDay);
    records.exec(
        "INSERT INTO task (idButch, deviceId, startTime, endTime, taskWeight, "
        "haveDoneWeight, mustToBeDoneWeight, productName, weightScale, startDate, endDate) "
        "VALUES (?1, 30, '08:00', '08:40', '200.00', '200.38', '-0.38', "
        "'Сахар \"Экстра\"', 'кг', ?2, ?2)",
        {QString::number(butch), FirstDay});
    {
        Database database(records.path());
        DoseRecords doses(database);
        DoseRecord dose;
        dose.butchId = butch;
        dose.deviceId = 30;
        dose.unit = "кг";
        dose.decimals = 2;
        dose.tolerancePlus = "0.50";
        dose.toleranceMinus = "0.50";
        dose.moment = QDateTime::fromString(FirstDay + " 08:00:30", "dd.MM.yyyy hh:mm:ss");
        dose.dischargedWeight = "0.03";
        dose.counted = false;
        QVERIFY(doses.add(dose));
        dose.counted = true;
        dose.correction = 0.0196;
        dose.inFlight = 0.29;
        // Seven doses of 28.57 ordered, 200.38 counted in all; one of them far off.
        const QStringList discharged {"28.60", "28.55", "28.61", "29.30",
                                      "28.52", "28.58", "28.22"};
        for (const QString &weight : discharged) {
            dose.moment = dose.moment.addSecs(90);
            dose.orderedWeight = "28.57";
            dose.dischargedWeight = weight;
            QVERIFY(doses.add(dose));
        }
    }
    QList<JournalEvent> events {eventAt(FirstDay, "08:00:00", JournalEvent::ButchStarted, butch)};
    for (int i = 0; i < 12; ++i)
        events << eventAt(FirstDay, QTime(8, 10 + i).toString("hh:mm:ss"),
                          i % 2 ? JournalEvent::ConnectionRestored : JournalEvent::ConnectionLost,
                          butch);
    events << eventAt(FirstDay, "08:25:00", JournalEvent::DoserAlarm, butch,
                      "Ошибка, нет продукта (не набран вес за заданное время)");
    events.last().errorCode = 8;
    events << eventAt(FirstDay, "08:40:00", JournalEvent::ButchFinished, butch);
    record(records.path(), events);

    Journal journal(records.path());
    QStringList warnings;
    QStringList offered;
    QString answer;
    ModalPrompts prompts;
    prompts.runBox = [&](QMessageBox *box) {
        warnings << box->text();
        return box->buttons().value(0);
    };
    prompts.saveFileAs = [&](QWidget *, const QString &, const QString &name, const QString &) {
        offered << name;
        return answer;
    };
    journal.setPrompts(prompts);
    journal.show();
    journal.fillDates();

    journal.reportButton->click();
    QCOMPARE(warnings.size(), 1);
    QVERIFY(offered.isEmpty());

    QTemporaryDir folder;
    answer = folder.filePath("report.pdf");
    journal.journalTable->selectRow(3);
    journal.reportButton->click();
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(offered, QStringList {QString("Партия %1 от %2.pdf").arg(butch).arg(FirstDay)});
    QFile pdf(answer);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");

    Database database(records.path());
    const ButchReport report(database, butch);
    QCOMPARE(report.pageCount(), 1);
    // Deviations +0.03, -0.02, +0.04, +0.73, -0.05, +0.01, -0.35: six of seven within 0.50,
    // 85.7 %. Mean 0.39 / 7 = 0.0557; s^2 = (0.6609 - 0.39^2 / 7) / 6 = 0.10653, s = 0.32639;
    // Cp = 1.00 / (6 s) = 0.511, Cpk = (0.50 - 0.0557) / (3 s) = 0.454. X(1) at 28.57 kg is 1 %,
    // 0.2857 kg: +0.73 lies 0.674 from the mean, beyond X(2)'s 0.571, so no class.
    QVERIFY2(report.pageText(0).contains("85.7 % (доз: 7)\t0.51\t0.45\t—"),
             qPrintable(report.pageText(0).join('\n')));
    // The learned terms the fills were sent with, as they act on the fill.
    QVERIFY2(report.pageText(0)
                 .filter("Поправка дозы:")
                 .join("")
                 .contains("-1.96 %, в полёте -0.290 кг"),
             qPrintable(report.pageText(0).join('\n')));
    // The journal's newest seal, for a later look at the journal to be compared with.
    const KnownSeal newest = KnownSeal::newest(database);
    QVERIFY(newest.isSet());
    QVERIFY(report.pageText(0).join('\n').contains(newest.seal));
    const QImage page = report.pageImage(0, 1.5);
    QCOMPARE(page.size(), QSize(893, 1263));
    saveScreenshot(page, "report.png");
    journal.resize(journal.size());
    saveScreenshot(journal.grab().toImage(), "journal.png");

    QVERIFY(!ButchReport(database, butch + 1).exists());
    journal.butchEdit->acceptKeyboardText(QString::number(butch + 1));
    journal.reportButton->click();
    QCOMPARE(warnings.size(), 2);
    QCOMPARE(offered.size(), 1);
}

void tst_Journal::closingOnlyHides()
{
    TemporaryDatabase records;
    auto *journal = new Journal(records.path());
    const QPointer<Journal> alive(journal);
    QSignalSpy hidden(journal, &Journal::windowHided);
    QSignalSpy closeClicked(journal, &Journal::closeClicked);
    journal->show();
    QVERIFY(QTest::qWaitForWindowExposed(journal));

    journal->closeButton->click();
    QVERIFY(journal->isHidden());
    journal->show();
    QTest::keyClick(journal, Qt::Key_Escape);
    QVERIFY(journal->isHidden());
    QCOMPARE(hidden.count(), 2);
    QCOMPARE(closeClicked.count(), 1);
    QCoreApplication::processEvents();
    QVERIFY(alive);
    delete journal;
}

void tst_Journal::checkFindsACutTailAgainstTheRememberedSeal()
{
    TemporaryDatabase records;
    addThreeDays(records.path());
    Journal journal(records.path());
    QStringList reports;
    ModalPrompts prompts;
    prompts.runBox = [&reports](QMessageBox *box) {
        reports << box->text();
        return box->buttons().value(0);
    };
    journal.setPrompts(prompts);
    journal.checkButton->click();
    QVERIFY2(!reports.last().contains(u'№'), qPrintable(reports.last()));

    const KnownSeal known = KnownSeal::read(records.path());
    QVERIFY(known.isSet());
    QVERIFY(records.exec("DELETE FROM event WHERE idEvent >= ?1", {QString::number(known.id)}));
    journal.checkButton->click();
    QVERIFY2(reports.last().contains(QStringLiteral("№ %1").arg(known.id)),
             qPrintable(reports.last()));
}

QTEST_MAIN(tst_Journal)
#include "tst_journal.moc"
