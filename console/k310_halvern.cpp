#include "k310_halvern.h"

#include "consolelog.h"
#include "doseoptionsdialog.h"
#include "formulawindow.h"
#include "schedulewindow.h"

#include "journal.h"
#include "k310device.h"
#include "k310link.h"
#include "k310settings.h"
#include "linedosers.h"
#include "lineoverview.h"
#include "linequeue.h"
#include "operatormessages.h"
#include "plantlink.h"
#include "plantlinkdialog.h"
#include "plantorders.h"
#include "portresult.h"
#include "product.h"
#include "rs232settings.h"
#include "stat.h"
#include "trendwindow.h"

#include <QCloseEvent>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QSettings>

#ifndef K310_WINDOW_TITLE
#define K310_WINDOW_TITLE "Пульт дозатора К310"
#endif

namespace {

constexpr int WindowWidth = 895;
constexpr int WindowX = 300;
constexpr int WindowY = 300;
constexpr int FirstDeviceId = 30;
constexpr int ReplyTimeoutMs = 150;
// How long the closing window lets the dosers' stop orders go out on the line.
constexpr int ExitLineMs = 2000;
constexpr int ExitLookMs = 10;
const QString LiveWeightKey = QStringLiteral("liveWeight");
const QString ExitQuestion = QStringLiteral("Задание не завершено. Выйти?");

// A disabled panel still shows the doser: its values keep the colours of an enabled one.
void keepReadableWhenDisabled(QWidget *panel)
{
    for (QLabel *label : panel->findChildren<QLabel *>()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Disabled, QPalette::WindowText,
                         palette.color(QPalette::Active, QPalette::WindowText));
        label->setPalette(palette);
    }
}

} // namespace

K310_Halvern::K310_Halvern(QWidget *parent)
    : QWidget(parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(WindowWidth, WindowHeight);
    move(WindowX, WindowY);

    link = new K310Link(QString());
    // Requests wait in the console for the line, never in the link: a silent doser holds up
    // neither the others nor the window.
    queue = std::make_unique<LineQueue>(link);

    // The dosers on the line as kept; a fresh installation has one at the first address, and the
    // doser dialog brings back the stored number of the first.
    supervisor = std::make_unique<DoserSupervisor>(link, queue.get(), image);
    const auto store = k310Settings::makeStore();
    for (const LineDoser &onLine : LineDosers::load(*store)) {
        supervisor->addDoser(onLine.address);
        doserNames << onLine.name;
    }
    if (doserCount() == 0) {
        supervisor->addDoser(FirstDeviceId);
        doserNames << QString();
    }

    database.createTables();
    accessStore = std::make_unique<AccessStore>(database);
    access = std::make_unique<AccessControl>(*accessStore);
    BatchOperator &person = *this;
    batch = std::make_unique<BatchRun>(*supervisor, person, database, image);
    // Off only for a line too slow for one more request a tick.
    batch->setLiveWeight(store->value(LiveWeightKey, true).toBool());
    trend = std::make_unique<TrendRecorder>(image, database);

    ui.setupUi(this);
    setWindowTitle(QStringLiteral(K310_WINDOW_TITLE));
    keepReadableWhenDisabled(ui.containerK310_11);
    DoserPanel::Widgets form;
    form.container = ui.containerK310_11;
    form.taskWeight = ui.productWeightK310_11;
    form.plusTolerance = ui.doseFaultPlusK310_11;
    form.minusTolerance = ui.doseFaultMinusK310_11;
    form.state = ui.stateK310_11;
    form.netWeight = ui.stateK310_12;
    form.delivered = ui.progressBar_11;
    form.doseWeight = ui.doseWeightLabel;
    form.doseCount = ui.shiftDoseCountLabel;
    form.shiftWeight = ui.shiftWeightLabel;
    form.totalDoseCount = ui.totalDoseCountLabel;
    form.totalWeight = ui.totalWeightLabel;
    form.units = {ui.weightlabel_6,  ui.weightlabel_7,  ui.weightlabel_8,
                  ui.weightlabel_9,  ui.weightlabel_10, ui.weightlabel_11,
                  ui.weightlabel_12, ui.weightlabel_13, ui.weightlabel_14};
    form.progress = ui.batchProgress;
    panel = std::make_unique<DoserPanel>(form, image);
    overview = new LineOverview(&image, this);
    ui.windowLayout->insertWidget(0, overview);
    connect(overview, &LineOverview::selected, this, &K310_Halvern::selectDoser);
    layOutLine();

    rs232 = new rs232Settings();
    rs232->hide();
    offerSerialPorts();

    k310 = new k310Settings();
    k310->hide();

    getProductsNames();
    openCOMPort(rs232->getCurrentCOMPort());

    wireDialogs();
    // A stored doser number other than the dialog's reaches checkK310Connection now; the doser
    // is still switched off, so nothing is sent before restoreLastSession().
    k310->restoreK310Id();
    wireSupervisor();
    wireWindow();
    wireRecipes();
    wireAccess();
    wireDoseOptions();
    wirePlantLink();
    wireSchedule();

    supervisor->startTimers();
    constructed = true;
    note(JournalEvent::ProgramStarted, lineSettingsText());
}

K310_Halvern::~K310_Halvern()
{
    qDebug("~K310_Halvern()");
    supervisor.reset();
    queue.reset();
    closePlantLink();
    delete questionBox;
    delete infoBox;
    delete accessBox;
    delete rs232;
    delete k310;
    delete link;
}

void K310_Halvern::offerSerialPorts()
{
    const QStringList ports = K310Link::availablePorts();
    rs232->addComPorts(ports);

    // The operator's last choice comes back when that port is still there.
    const QString remembered = serialLine.port();
    if (!remembered.isEmpty()) {
        const int index = rs232->comPortNameComboBox->findText(remembered);
        if (index >= 0)
            rs232->comPortNameComboBox->setCurrentIndex(index);
        else
            qCInfo(lcConsole).noquote()
                << QStringLiteral("remembered port %1 is not present, %2 is used")
                       .arg(remembered, ports.isEmpty() ? QStringLiteral("none") : ports.first());
    }
    const int rateIndex = rs232->comPortRatecomboBox->findText(serialLine.rate());
    if (rateIndex >= 0)
        rs232->comPortRatecomboBox->setCurrentIndex(rateIndex);
}

void K310_Halvern::wireDialogs()
{
    connect(ui.rs232SettingsButton, &QPushButton::clicked, this, &K310_Halvern::showRs232Settings);
    connect(ui.k310SettingsButton, &QPushButton::clicked, this, &K310_Halvern::showK310Settings);
    connect(rs232, &rs232Settings::comPortChanged, this, &K310_Halvern::openCOMPort);
    connect(rs232, &rs232Settings::rateChanged, this, &K310_Halvern::setCOMPortRate);
    connect(
        k310, &k310Settings::k310ProductChanged, this, [this](int position, const QString &name) {
            if (isDoser(position))
                noteChange(JournalEvent::SettingChanged, QStringLiteral("продукт дозатора"),
                           doser(position)->getProductName(), name, doser(position)->getDeviceID());
            changeK310Product(position, name);
        });
    connect(k310, &k310Settings::k310IdChanged, this, &K310_Halvern::checkK310Connection);
    // The line is changed at Наладчик; a doser with a task stays on it.
    k310->setChangeGuard([this] { return mayChange(AccessLevel::Engineer); });
    k310->setRemovalGuard([this](int position) {
        return isDoser(position) && batch->hasTask(position)
                   ? QStringLiteral("Дозатор %1 выполняет задание: удалить его с линии нельзя.")
                         .arg(doser(position)->getDeviceID())
                   : QString();
    });
    k310->setRunBox([this](QMessageBox *box) { return prompts.runBox(box); });
    connect(k310, &k310Settings::lineChanged, this, &K310_Halvern::applyLine);
    connect(k310, &k310Settings::currentDoserChanged, this, [this](int position) {
        if (!isDoser(position))
            return;
        selectDoser(position);
        k310->clearInfo();
        deviceConnectionTest(position);
        k310->setCurrentProductType(doser(position)->getProductName());
        showDoseCorrection(position);
    });
    connect(k310, &k310Settings::startTestModeClicked, this, &K310_Halvern::startTestMode);
    connect(k310, &k310Settings::stopTestModeClicked, this, &K310_Halvern::stopTestMode);

    // Only what the operator chooses is remembered, never the fallback of a start-up.
    connect(rs232, &rs232Settings::comPortChanged, this,
            [this](const QString &port) { serialLine.rememberPort(port); });
    connect(rs232, &rs232Settings::rateChanged, this,
            [this](const QString &rate) { serialLine.rememberRate(rate); });
}

void K310_Halvern::wireWindow()
{
    connect(ui.containerK310_11, &QGroupBox::clicked, this,
            [this](bool on) { setDoserActive(selected, on); });
    connect(panel.get(), &DoserPanel::taskWeightEntered, this, &K310_Halvern::enterTaskWeight);
    connect(panel.get(), &DoserPanel::plusToleranceEntered, this,
            &K310_Halvern::enterPlusTolerance);
    connect(panel.get(), &DoserPanel::minusToleranceEntered, this,
            &K310_Halvern::enterMinusTolerance);
    connect(ui.statButton, &QPushButton::clicked, this, &K310_Halvern::showStat);
    connect(ui.statButton_2, &QPushButton::clicked, this, &K310_Halvern::showStat2);
    connect(ui.journalButton, &QPushButton::clicked, this, &K310_Halvern::showJournal);
    connect(ui.trendButton, &QPushButton::clicked, this, &K310_Halvern::showTrend);
    for (auto signal :
         {&TrendRecorder::batchBegan, &TrendRecorder::sampleAdded, &TrendRecorder::cycleClosed}) {
        connect(trend.get(), signal, this, [this] {
            if (trendWindow)
                trendWindow->cyclesChanged();
        });
    }
    connect(trend.get(), &TrendRecorder::batchBegan, this, [this] {
        if (trendWindow)
            captionTrend();
    });
    connect(supervisor.get(), &DoserSupervisor::activityChecked, this,
            &K310_Halvern::checkDeviceActivity);
    connect(batch.get(), &BatchRun::stateChanged, this, &K310_Halvern::applyBatchState);
    connect(batch.get(), &BatchRun::stateChanged, this, &K310_Halvern::formulaBatchEnded);
    connect(ui.formulaButton, &QPushButton::clicked, this, &K310_Halvern::formulaButton);
    connect(batch.get(), &BatchRun::journalEvent, this, &K310_Halvern::noteBatchEvent);
    connect(batch.get(), &BatchRun::taskRestored, this, &K310_Halvern::showRestoredTask);
    connect(batch.get(), &BatchRun::productWanted, this, &K310_Halvern::changeK310Product);
    connect(batch.get(), &BatchRun::componentBegun, this, [this](int position) {
        if (position == selected)
            fillPanelEditors();
    });
    connect(batch.get(), &BatchRun::switchOnWanted, this,
            [this](int position) { setDoserActive(position, true); });
    connect(&image, &ProcessImage::changed, this, &K310_Halvern::drawDoser);

    for (int position = 0; position < doserCount(); ++position)
        wireDoser(doser(position));

    connect(ui.startButton, &QPushButton::clicked, this, &K310_Halvern::startButton);
    connect(ui.stopButton, &QPushButton::clicked, this, &K310_Halvern::stopButton);
    connect(ui.continueButton, &QPushButton::clicked, this, &K310_Halvern::continueButton);
    connect(ui.downloadDoseButton, &QPushButton::clicked, this, &K310_Halvern::downloadDoseButton);
    connect(ui.uploadDoseButton, &QPushButton::clicked, this, &K310_Halvern::uploadDoseButton);
    connect(ui.stopWorkButton, &QPushButton::clicked, this, &K310_Halvern::stopWorkButton);
    connect(ui.doCycleButton, &QPushButton::clicked, this, &K310_Halvern::doCycleButton);
}

void K310_Halvern::wireSupervisor()
{
    // The window journals and shows; the batch is told by the supervisor itself, after these.
    using S = DoserSupervisor;
    connect(supervisor.get(), &S::doserLost, this, &K310_Halvern::doserLost);
    connect(supervisor.get(), &S::doserRegained, this, &K310_Halvern::doserRegained);
    connect(supervisor.get(), &S::alarmRaised, this,
            [this](int position, const QString &text, int code) {
                note(JournalEvent::DoserAlarm, text, doser(position)->getDeviceID(), code);
            });
    connect(supervisor.get(), &S::alarmCleared, this, [this](int position) {
        if (position == k310->currentDeviceIndex())
            k310->clearErrorMessage();
    });
    connect(supervisor.get(), &S::unnamedState, this, [this](int position, const QString &text) {
        if (position == selected)
            panel->showState(text, true);
    });
    connect(supervisor.get(), &S::doseOrdered, this, [this](int position, const QString &weight) {
        if (position == selected)
            ui.doseWeightLabel->setText(weight);
    });
    connect(&image, &ProcessImage::dosersChanged, this, &K310_Halvern::layOutLine);
    supervisor->attach(batch.get());
}

void K310_Halvern::wireDoser(K310Device *doser)
{
    // What the doser dialog and the panel's editors show of a doser's reports; the image, the
    // contact and the batch are the supervisor's and the batch's.
    using D = K310Device;
    using H = K310_Halvern;
    connect(doser, &D::hasConnectionErrorSignal, this, &H::connectionErrorActions,
            Qt::UniqueConnection);
    connect(doser, &D::hasErrorSignal, this, &H::workErrorActions, Qt::UniqueConnection);
    connect(doser, &D::hasGetPOVersionSignal, this, &H::hasGetPOVersion, Qt::UniqueConnection);
    connect(doser, qOverload<int, const QString &>(&D::hasGetScaleSignal), this,
            qOverload<int, const QString &>(&H::hasGetScale), Qt::UniqueConnection);
    connect(doser, &D::hasGetNPDSignal, this, &H::hasGetNPD, Qt::UniqueConnection);
    connect(doser, &D::hasGetWeightScaleSignal, this, &H::hasGetWeightScale, Qt::UniqueConnection);
    connect(doser, &D::hasGetDoseFaultPlusSignal, this, &H::hasGetDoseFaultPlus,
            Qt::UniqueConnection);
    connect(doser, &D::hasGetDoseFaultMinusSignal, this, &H::hasGetDoseFaultMinus,
            Qt::UniqueConnection);
}

void K310_Halvern::closeEvent(QCloseEvent *event)
{
    // Leaving a running batch is a stop the operator confirms, journaled as one.
    if (batch->isRunning()) {
        if (ask(ExitQuestion) != Answer::Yes) {
            event->ignore();
            return;
        }
        // The question runs its own event loop: the batch may have stopped meanwhile.
        if (batch->isRunning())
            batch->stopActions();
    }
    stopAllWork();
    // The stop orders leave before the window goes: the queue is let empty, a moment at most.
    QElapsedTimer clock;
    clock.start();
    QEventLoop wait;
    QTimer look;
    connect(&look, &QTimer::timeout, &wait, [&] {
        if ((queue->pending() == 0 && !queue->isWaitingForReply()) || clock.elapsed() > ExitLineMs)
            wait.quit();
    });
    look.start(ExitLookMs);
    wait.exec();
    note(JournalEvent::ProgramExited, QString());
    event->accept();
}

void K310_Halvern::note(JournalEvent::Kind kind, const QString &text, int id, int errorCode)
{
    // Belongs to the batch while one of its tasks is open.
    const qint64 butch =
        batch->hasAnyTask() ? qint64(batch->currentButchId()) : JournalEvent::NoButch;
    journal.record(kind, text, butch, id, errorCode);
}

QString K310_Halvern::lineSettingsText() const
{
    QStringList addresses;
    for (int position = 0; position < doserCount(); ++position)
        addresses << QString::number(doser(position)->getDeviceID());
    return QStringLiteral("порт %1, %2 бит/с, дозатор %3")
        .arg(rs232->getCurrentCOMPort(), rs232->getCurrentCOMPortRate(),
             addresses.join(QStringLiteral(", ")));
}

void K310_Halvern::centreOverWindow(QWidget *window)
{
    // Sizes counted inclusive of both edges, as the frame geometry of the window is.
    const QRect own = frameGeometry();
    const QRect other = window->frameGeometry();
    window->move(own.x() + (own.width() - other.width()) / 2,
                 own.y() + (own.height() - other.height()) / 2);
}

void K310_Halvern::showRs232Settings()
{
    if (!mayChange(AccessLevel::Engineer))
        return;
    centreOverWindow(rs232);
    rs232->show();
}

void K310_Halvern::showK310Settings()
{
    // The dialog describes the doser selected in the window.
    {
        const QSignalBlocker blocker(k310);
        k310->setCurrentDeviceIndex(selected);
    }
    const int position = k310->currentDeviceIndex();
    k310->clearInfo();
    showLinkCounters();
    deviceConnectionTest(position);
    const QString product = doser(position)->getProductName();
    getProductsNames();
    k310->setCurrentProductType(product);
    showDoseCorrection(position);
    centreOverWindow(k310);
    k310->show();
}

void K310_Halvern::showStat()
{
    if (!mayChange(AccessLevel::Technologist))
        return;
    if (!productWindow) {
        productWindow = std::make_unique<Product>();
        connect(productWindow.get(), &Product::productChanged, this,
                [this](const QString &before, const QString &after) {
                    noteChange(JournalEvent::SettingChanged, QStringLiteral("вид продукта"), before,
                               after);
                });
    }
    centreOverWindow(productWindow.get());
    productWindow->newProductName->clear();
    productWindow->show();
}

void K310_Halvern::showStat2()
{
    if (!statWindow)
        statWindow = std::make_unique<Stat>();
    statWindow->fillDates();
    centreOverWindow(statWindow.get());
    statWindow->show();
}

void K310_Halvern::showJournal()
{
    if (!journalWindow)
        journalWindow = std::make_unique<Journal>();
    // What was recorded a moment ago belongs in the window too.
    journal.flush();
    journalWindow->fillDates();
    centreOverWindow(journalWindow.get());
    journalWindow->show();
}

void K310_Halvern::showTrend()
{
    // The trend of the doser selected when it is opened; selecting another shows its trend.
    if (!trendWindow) {
        trendWindow = std::make_unique<TrendWindow>(
            [this] { return trend->cycles(qMin(selected, doserCount() - 1)); }, this);
    }
    captionTrend();
    centreOverWindow(trendWindow.get());
    trendWindow->show();
    trendWindow->raise();
}

void K310_Halvern::captionTrend()
{
    const int position = qMin(selected, doserCount() - 1);
    const DoserImage &doser = image.doser(position);
    const quint64 butchId = trend->butchId(position);
    trendWindow->setCaption(
        butchId == 0 ? QStringLiteral("Партии ещё не было")
                     : QStringLiteral("Партия %1: %2").arg(butchId).arg(doser.batch.product));
    trendWindow->setUnit(doser.unit);
}

void K310_Halvern::getProductsNames()
{
    database.execQuery(QStringLiteral("SELECT productName FROM product"));
    const QueryResult &names = database.result();
    k310->dellAllProductTypes();
    if (names.columns == 0)
        return;
    for (int row = 0; row < names.rows; ++row)
        k310->addProductType(names.value(row, 0));
}

void K310_Halvern::changeK310Product(int position, const QString &name)
{
    if (!isDoser(position))
        return;
    supervisor->setProduct(position, name);
    if (position == selected)
        panel->setTitle(doser(position)->getDeviceID(), name);
    // Later: the product list may be read from data.db right now, and the correction's query
    // would take its result away.
    QTimer::singleShot(0, this, [this, position] { showDoseCorrection(position); });
}

void K310_Halvern::checkK310Connection(int id)
{
    const int position = qBound(0, k310->currentDeviceIndex(), doserCount() - 1);
    const int before = doser(position)->getDeviceID();
    const int taken = deviceIndex(id);
    const bool twice = taken >= 0 && taken != position;
    if (constructed && id != before && (twice || !mayChange(AccessLevel::Engineer))) {
        if (twice)
            inform(QStringLiteral("Адрес %1 уже занят дозатором на линии.").arg(id));
        // The dialog shows the number the doser still has.
        const QSignalBlocker blocker(k310->k310Id);
        k310->k310Id->setCurrentIndex(before);
        return;
    }
    k310->clearInfo();
    supervisor->setAddress(position, id);
    changeK310Product(position, doser(position)->getProductName());
    if (constructed) {
        noteChange(JournalEvent::DoserAddressChanged, QStringLiteral("номер дозатора"),
                   QString::number(before), QString::number(id), id);
        layOutLine();
    }
    deviceConnectionTest(position);
}

void K310_Halvern::startTestMode()
{
    if (!mayChange(AccessLevel::Engineer))
        return;
    K310Device *shown = doser(k310->currentDeviceIndex());
    note(JournalEvent::ManualOrder,
         QStringLiteral("%1: Режим имитации работы контроллера").arg(levelPrefix()),
         shown->getDeviceID());
    shown->startTestMode();
}

void K310_Halvern::stopTestMode()
{
    if (!mayChange(AccessLevel::Engineer))
        return;
    K310Device *shown = doser(k310->currentDeviceIndex());
    note(JournalEvent::ManualOrder, QStringLiteral("%1: Рабочий режим").arg(levelPrefix()),
         shown->getDeviceID());
    shown->stopTestMode();
}

void K310_Halvern::openCOMPort(const QString &port)
{
    if (port.isEmpty()) {
        for (int position = 0; position < doserCount(); ++position)
            showNoConnection(position);
        return;
    }
    // What waited for the old line is not for the new one.
    queue->clear();
    const int opened = link->openPort(port);
    link->setReplyTimeout(ReplyTimeoutMs);
    queue->setWatchdogMs(LineQueue::watchdogMsFor(ReplyTimeoutMs));
    // The counts describe one line.
    link->resetCounters();
    const QString after = opened == PortSuccess ? port : QStringLiteral("%1 не открыт").arg(port);
    if (constructed)
        noteChange(JournalEvent::PortChanged, QStringLiteral("порт"), openedPort, after);
    openedPort = after;
    if (opened == PortSuccess) {
        setCOMPortRate(rs232->getCurrentCOMPortRate());
    } else {
        for (int position = 0; position < doserCount(); ++position)
            showNoConnection(position);
    }
}

void K310_Halvern::showNoConnection(int position)
{
    supervisor->showNoConnection(position);
    if (position == selected)
        panel->forgetState();
    drawDoser(position);
}

void K310_Halvern::setCOMPortRate(const QString &rate)
{
    link->setRate(rate.toInt(nullptr, 10));
    const QString after = QStringLiteral("%1 бит/с").arg(rate);
    if (constructed)
        noteChange(JournalEvent::RateChanged, QStringLiteral("скорость"), setRate, after);
    setRate = after;
}

void K310_Halvern::showLinkCounters()
{
    const LinkCounters counts = link->counters();
    k310->setLinkCounters(counts.sent, counts.answered, counts.notAnswered, counts.corrupt);
}

void K310_Halvern::stopTimers()
{
    supervisor->stopTimers();
}

void K310_Halvern::startTimers()
{
    supervisor->startTimers();
}

void K310_Halvern::hasGetSumWeightOfLastDownload(int, const QString &) { }

void K310_Halvern::requestSumWeightOfLastDownload(int) { }

void K310_Halvern::makeMessageBoxes()
{
    if (questionBox)
        return;
    questionBox = OperatorMessages::makeQuestionBox(this, &yesButton);
    infoBox = OperatorMessages::makeWarningBox(this);
}

K310_Halvern::Answer K310_Halvern::ask(const QString &text)
{
    makeMessageBoxes();
    // A question asked while another is running (from inside its event loop, even after the
    // console hid it) is not asked: the box cannot run twice, and nobody has answered it.
    if (questionRunning)
        return Answer::Busy;
    questionBox->setText(text);
    questionDismissed = false;
    questionRunning = true;
    const QAbstractButton *clicked = prompts.runBox(questionBox);
    questionRunning = false;
    batch->questionClosed();
    if (questionDismissed)
        return Answer::Dismissed;
    return clicked == yesButton ? Answer::Yes : Answer::No;
}

void K310_Halvern::dismissQuestion()
{
    if (!questionRunning)
        return;
    questionDismissed = true;
    questionBox->hide();
}

void K310_Halvern::inform(const QString &text)
{
    makeMessageBoxes();
    // A report while another is open replaces its text: the box cannot run twice.
    infoBox->setText(text);
    if (infoBox->isVisible())
        return;
    prompts.runBox(infoBox);
}

#include "moc_k310_halvern.cpp"
