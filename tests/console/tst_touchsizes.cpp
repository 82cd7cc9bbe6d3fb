#include "batchprogressview.h"
#include "consolerig.h"
#include "dialogcheck.h"
#include "k310_halvern.h"
#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "texteditembedded.h"
#include "touchstyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <functional>

namespace {

// What is wrong with a shown window, one line a fault.
using Check = std::function<QStringList(QWidget *window)>;

qreal fingerPixels(const QWidget *widget)
{
    return 9 * widget->screen()->physicalDotsPerInch() / 25.4;
}

QString describe(const QWidget *widget, const QString &text = QString())
{
    return QStringLiteral("%1 %2 \"%3\" %4x%5")
        .arg(widget->window()->metaObject()->className(), widget->objectName(), text.left(40),
             QString::number(widget->width()), QString::number(widget->height()));
}

bool isShownIn(const QWidget *widget, const QWidget *window)
{
    return widget->isVisible() && widget->window() == window;
}

// The visible push buttons of a shown window below 9 mm a side, or cut off by the window.
QStringList smallButtons(QWidget *window)
{
    QStringList faults;
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        const QRect placed(button->mapTo(window, QPoint()), button->size());
        if (isShownIn(button, window)
            && (qMin(button->width(), button->height()) < fingerPixels(button)
                || !window->rect().contains(placed)))
            faults << describe(button, button->text());
    }
    return faults;
}

// Check boxes and radio buttons below a finger's height or not hit at the end of their row,
// combo boxes and the rows of their lists, rows of item views and scroll bars below a finger.
QStringList smallControls(QWidget *window)
{
    QStringList faults;
    for (QAbstractButton *box : window->findChildren<QAbstractButton *>()) {
        if (!isShownIn(box, window)
            || !(qobject_cast<QCheckBox *>(box) || qobject_cast<QRadioButton *>(box)))
            continue;
        const bool before = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 2, box->height() / 2));
        const bool hit = box->isChecked() != before;
        if (hit && qobject_cast<QCheckBox *>(box))
            QTest::mouseClick(box, Qt::LeftButton);
        if (box->height() < fingerPixels(box) || !hit)
            faults << describe(box, box->text());
    }
    for (QComboBox *combo : window->findChildren<QComboBox *>()) {
        if (!isShownIn(combo, window))
            continue;
        if (combo->height() < fingerPixels(combo))
            faults << describe(combo, combo->currentText());
        combo->showPopup();
        QAbstractItemView *list = combo->view();
        const int height = list->visualRect(list->model()->index(0, combo->modelColumn())).height();
        if (combo->count() > 0 && height < fingerPixels(combo))
            faults << describe(combo, combo->itemText(0)) + " row " + QString::number(height);
        combo->hidePopup();
    }
    for (QAbstractItemView *view : window->findChildren<QAbstractItemView *>()) {
        if (!isShownIn(view, window) || qobject_cast<QHeaderView *>(view))
            continue;
        // The bars as they will be when the rows outgrow the view.
        const int barWidth = view->verticalScrollBar()->sizeHint().width();
        const int barHeight = view->horizontalScrollBar()->sizeHint().height();
        if (qMin(barWidth, barHeight) < fingerPixels(view))
            faults << describe(view) + " scroll bar " + QString::number(qMin(barWidth, barHeight));
        auto *table = qobject_cast<QTableView *>(view);
        const int rows = view->model() ? view->model()->rowCount(view->rootIndex()) : 0;
        for (int row = 0; row < rows; ++row) {
            // A table's row is touched on its grid line too.
            const int height =
                table ? table->rowHeight(row)
                      : view->visualRect(view->model()->index(row, 0, view->rootIndex())).height();
            if (height < fingerPixels(view))
                faults << describe(view) + " row " + QString::number(height);
        }
        if (table && table->verticalHeader()->defaultSectionSize() < fingerPixels(view))
            faults << describe(view) + " new rows";
    }
    return faults;
}

// Where a text is drawn, in its window's coordinates.
struct DrawnText
{
    QString text;
    QRect area;
};

// The rectangle a label's text takes within its contents, by the font's metrics.
QRect neededByLabel(const QLabel *label, const QRect &room)
{
    const bool rich =
        label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    if (!rich) {
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        return label->fontMetrics().boundingRect(room, flags, label->text());
    }
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setDocumentMargin(0);
    document.setHtml(label->text());
    if (label->wordWrap())
        document.setTextWidth(room.width());
    const QSize size(qCeil(document.idealWidth()), qCeil(document.size().height()));
    return QStyle::alignedRect(label->layoutDirection(), label->alignment(), size, room);
}

// Labels and progress bars whose text does not fit them or is hidden by what holds them,
// read-only fields that do not show their whole text, and any two of these texts that overlap.
QStringList textFaults(QWidget *window)
{
    QStringList faults;
    QList<DrawnText> drawn;
    const auto place = [&](const QWidget *widget, const QString &text, const QRect &room,
                           const QRect &needed) {
        if (!room.contains(needed))
            faults << describe(widget, text) + " needs " + QString::number(needed.width()) + "x"
                          + QString::number(needed.height());
        else if (!widget->visibleRegion().boundingRect().contains(needed))
            faults << describe(widget, text) + " hidden by its parent";
        drawn.append({text, QRect(widget->mapTo(window, needed.topLeft()), needed.size())});
    };
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (!isShownIn(label, window) || label->text().isEmpty())
            continue;
        const QRect room = label->contentsRect().marginsRemoved(
            QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
        place(label, label->text(), room, neededByLabel(label, room));
    }
    for (QProgressBar *bar : window->findChildren<QProgressBar *>()) {
        if (!isShownIn(bar, window) || !bar->isTextVisible() || bar->text().isEmpty())
            continue;
        // The style centres the text on the whole bar.
        place(bar, bar->text(), bar->rect(),
              bar->fontMetrics().boundingRect(bar->rect(), Qt::AlignCenter, bar->text()));
    }
    for (QLineEdit *field : window->findChildren<QLineEdit *>()) {
        if (!isShownIn(field, window) || !field->isReadOnly())
            continue;
        QStyleOptionFrame panel;
        panel.initFrom(field);
        panel.lineWidth =
            field->hasFrame()
                ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, field)
                : 0;
        // QLineEdit keeps two pixels on each side of its text.
        const int room =
            field->style()->subElementRect(QStyle::SE_LineEditContents, &panel, field).width()
            - field->textMargins().left() - field->textMargins().right() - 4;
        if (field->fontMetrics().horizontalAdvance(field->text()) > room)
            faults << describe(field, field->text()) + " shows part of its text";
    }
    for (int i = 0; i < drawn.size(); ++i) {
        for (int j = i + 1; j < drawn.size(); ++j) {
            if (drawn.at(i).area.intersects(drawn.at(j).area))
                faults << QStringLiteral("%1: \"%2\" overlaps \"%3\"")
                              .arg(window->metaObject()->className(), drawn.at(i).text,
                                   drawn.at(j).text);
        }
    }
    return faults;
}

QStringList checkShown(QWidget *window, const Check &check)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return {window->objectName() + " not shown"};
    return check(window);
}

// The window, every message box it keeps for the operator and the keyboards its fields open.
QStringList checkWithBoxes(QWidget *window, const Check &check, QSet<int> &keyboardsSeen)
{
    QStringList faults = checkShown(window, check);
    for (QMessageBox *box : window->findChildren<QMessageBox *>()) {
        box->setText(QStringLiteral("Последнее задание не завершено. Восстановить данные?"));
        faults << checkShown(box, check);
        box->hide();
    }
    for (LineEditEmbedded *field : window->findChildren<LineEditEmbedded *>()) {
        if (!field->isVisible() || !field->isEnabled())
            continue;
        QTest::mouseClick(field, Qt::LeftButton);
        auto *keyboard = qobject_cast<Keyboard *>(KeyboardDriver::openKeyboard());
        if (!keyboard)
            return faults << field->objectName() + " opens no keyboard";
        keyboardsSeen << keyboard->keyboardType();
        faults << checkShown(keyboard, check);
        keyboard->reject();
    }
    return faults;
}

QWidget *shownWindowOtherThan(const QWidget *console)
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != console && window->isVisible() && !qobject_cast<QMessageBox *>(window))
            return window;
    }
    return nullptr;
}

// Every window the console opens, each shown in turn with its boxes and keyboards: the
// console itself, its settings, records and recipe windows, the trend and the plant link, the
// recipe creation and the dose options dialogs.
QStringList checkEveryWindow(ConsoleRig &rig, const Check &check, QSet<int> &keyboardsSeen)
{
    K310_Halvern *console = rig.console();
    // A start with nothing prepared is refused with a report, for which the console makes its
    // question and report boxes.
    rig.click("startButton");
    QStringList faults = checkWithBoxes(console, check, keyboardsSeen);
    for (const char *opener :
         {"rs232SettingsButton", "k310SettingsButton", "statButton", "statButton_2",
          "journalButton", "receiptEditorButton", "trendButton", "plantLinkButton"}) {
        rig.click(opener);
        QWidget *window = shownWindowOtherThan(console);
        if (!window) {
            faults << QStringLiteral("%1 opens no window").arg(opener);
            continue;
        }
        faults << checkWithBoxes(window, check, keyboardsSeen);
        if (auto *create = window->findChild<QPushButton *>("createReceiptButton")) {
            create->click();
            window->hide();
            window = shownWindowOtherThan(console);
            faults << checkWithBoxes(window, check, keyboardsSeen);
        }
        if (auto *options = window->findChild<QPushButton *>("doseOptionsButton")) {
            options->click();
            auto *dialog = window->findChild<QDialog *>("doseOptionsForm");
            if (!dialog || !dialog->isVisible())
                faults << QStringLiteral("no dose options");
            else
                faults << checkWithBoxes(dialog, check, keyboardsSeen);
            dialog->hide();
        }
        window->hide();
    }
    return faults;
}

// The description editor's replace question, checked where the operator would answer it.
class CheckedDescription : public TextEditEmbedded
{
public:
    explicit CheckedDescription(Check check)
        : check(std::move(check))
    { }
    QStringList faults;

protected:
    void askQuestion(QMessageBox &question) override { faults = check(&question); }

private:
    Check check;
};

} // namespace

class tst_TouchSizes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyButtonOfEveryWindowAndBoxIsAFingerWide();
    void everyOtherControlOfEveryWindowIsAFingerHighAndHitOnItsRow();
    void noTextOfAnyWindowIsCutOrOverlapsAnother_data();
    void noTextOfAnyWindowIsCutOrOverlapsAnother();
    void progressStripOverlapsNothing_data();
    void progressStripOverlapsNothing();
};

void tst_TouchSizes::init()
{
    DialogCheck::useConsoleLook();
    QVERIFY(qAbs(QGuiApplication::primaryScreen()->physicalDotsPerInch() - 96) < 10);
}

void tst_TouchSizes::everyButtonOfEveryWindowAndBoxIsAFingerWide()
{
    ConsoleRig rig;
    K310_Halvern *console = rig.startConsole();
    QSet<int> keyboardsSeen;
    QStringList faults = checkEveryWindow(rig, smallButtons, keyboardsSeen);
    QCOMPARE(console->findChildren<QMessageBox *>().size(), 2);
    QCOMPARE(keyboardsSeen, QSet<int>({Keyboard::NumericKeyboard, Keyboard::FullsizeKeyboard}));

    // The save dialog of the statistics and the journal.
    QTimer::singleShot(0, console, [&faults] {
        faults << smallButtons(QApplication::activeModalWidget());
        QApplication::activeModalWidget()->close();
    });
    ModalPrompts::standardSaveFileName(console, QStringLiteral("Сохранить"), "CSV (*.csv)");

    CheckedDescription description(smallButtons);
    description.setPlainText(QStringLiteral("Старое описание"));
    description.applyText(QStringLiteral("Новое описание"));
    QVERIFY2((faults << description.faults).isEmpty(), qPrintable(faults.join('\n')));
}

void tst_TouchSizes::everyOtherControlOfEveryWindowIsAFingerHighAndHitOnItsRow()
{
    ConsoleRig rig;
    K310_Halvern *console = rig.startConsole();
    QSet<int> keyboardsSeen;
    QStringList faults = checkEveryWindow(rig, smallControls, keyboardsSeen);
    QTimer::singleShot(0, console, [&faults] {
        faults << smallControls(QApplication::activeModalWidget());
        QApplication::activeModalWidget()->close();
    });
    ModalPrompts::standardSaveFileName(console, QStringLiteral("Сохранить"), "CSV (*.csv)");
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
}

void tst_TouchSizes::noTextOfAnyWindowIsCutOrOverlapsAnother_data()
{
    QTest::addColumn<QList<int>>("line");
    QTest::newRow("one doser") << QList<int>();
    // The overview's tiles above the panel, the doser dialog's list of the line.
    QTest::newRow("a line of three") << QList<int>({30, 31, 32});
}

void tst_TouchSizes::noTextOfAnyWindowIsCutOrOverlapsAnother()
{
    QFETCH(QList<int>, line);
    ConsoleRig rig;
    if (!line.isEmpty())
        rig.storeLine(line);
    rig.startConsole();
    QSet<int> keyboardsSeen;
    const QStringList faults = checkEveryWindow(rig, textFaults, keyboardsSeen);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
}

void tst_TouchSizes::progressStripOverlapsNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("delivered");
    QTest::addColumn<int>("doses");
    QTest::addColumn<int>("planned");
    QTest::addColumn<int>("hours");
    QTest::addColumn<QString>("lot");
    QTest::addColumn<QString>("schedule");
    QTest::newRow("first fill") << "120.00"
                                << "0.00" << 0 << 5 << 0 << QString() << QString();
    QTest::newRow("four digits, a hundred doses, hours")
        << "1200.00"
        << "1188.88" << 99 << 100 << 3 << QString() << QString();
    QTest::newRow("a short lot") << "120.00"
                                 << "60.00" << 2 << 5 << 0 << "П26-001" << QString();
    QTest::newRow("the longest lot of the widest letters, hours")
        << "1200.00"
        << "1188.88" << 99 << 100 << 3 << QString(32, u'Щ') << QString();
    // A running schedule shares the lot's row.
    QTest::newRow("a schedule without a lot")
        << "120.00"
        << "60.00" << 2 << 5 << 0 << QString() << "очередь 12 из 20, партия 3 из 10";
    QTest::newRow("a schedule and the longest lot")
        << "1200.00"
        << "1188.88" << 99 << 100 << 3 << QString(32, u'Щ') << "очередь 12 из 20, партия 3 из 10";
}

void tst_TouchSizes::progressStripOverlapsNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, delivered);
    QFETCH(int, doses);
    QFETCH(int, planned);
    QFETCH(int, hours);
    QFETCH(QString, lot);
    QFETCH(QString, schedule);
    ConsoleRig rig;
    K310_Halvern *console = rig.startConsole();
    auto *strip = console->findChild<BatchProgressView *>();
    QVERIFY(strip);
    DoserImage doser;
    doser.unit = QStringLiteral("кг");
    BatchProgress &batch = doser.batch;
    batch.butchId = 1;
    batch.state = BatchState::Running;
    batch.phase = DosePhase::Filling;
    batch.target = Weight::fromText(target);
    batch.delivered = Weight::fromText(delivered);
    batch.doseNumber = doses;
    batch.plannedDoses = planned;
    batch.cycleMs = 60000;
    batch.started = QDateTime::currentDateTime().addSecs(-hours * 3600 - 59);
    batch.lot = lot;
    const QSize window = console->size();
    strip->setSchedule(schedule);
    strip->draw(doser);
    // As the window lays the strip out anew once the batch's figures are drawn.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QStringList faults = textFaults(console);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    // A lot makes room for itself within the strip, not by growing the window.
    QCOMPARE(console->size(), window);
    QCOMPARE(console->minimumSizeHint().expandedTo(window), window);
}

QTEST_MAIN(tst_TouchSizes)
#include "tst_touchsizes.moc"
