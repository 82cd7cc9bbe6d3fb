#ifndef K310_HALVERN_H
#define K310_HALVERN_H

#include "accesscontrol.h"
#include "accessstore.h"
#include "activityfilter.h"
#include "batchline.h"
#include "batchrun.h"
#include "database.h"
#include "doseoptions.h"
#include "doserpanel.h"
#include "dosersupervisor.h"
#include "eventjournal.h"
#include "formulastartdialog.h"
#include "linedosers.h"
#include "modalprompts.h"
#include "processimage.h"
#include "schedulerunner.h"
#include "seriallinememory.h"
#include "trendrecorder.h"
#include "ui_K310_HalvernClass.h"

#include <QList>
#include <QTimer>
#include <QWidget>

#include <memory>

class FormulaWindow;
class ScheduleWindow;
class DoseOptionsDialog;
class Journal;
class K310Device;
class PlantLink;
class PlantLinkDialog;
class PlantOrders;
struct PlantLinkSettings;
class K310Link;
class LineOverview;
class LineQueue;
class Product;
class Stat;
class TrendWindow;
class QAbstractButton;
class ReceiptParameters;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class k310Settings;
class rs232Settings;

// The operator console: owns the doser line, the settings dialogs, the product and statistics
// windows and the production records, and passes on the operator's orders. The dosers are
// supervised by DoserSupervisor and the batch runs in BatchRun, both without widgets; the window
// draws the dosers from the process image: the selected one in its panel (DoserPanel), every one
// in the line's overview. The slots are defined by concern: construction, wiring and closing here
// (k310_halvern.cpp), what the supervision tells and the panel (supervision.cpp), the batch's
// buttons and reports (batchworkflow.cpp), manual control (manualcontrol.cpp), the recipe
// panel (recipehosting.cpp) and the production schedule (schedulehosting.cpp).
class K310_Halvern : public QWidget, private BatchOperator
{
    Q_OBJECT

public:
    explicit K310_Halvern(QWidget *parent = nullptr);
    ~K310_Halvern() override;

    // Field numbers of the doser panel; a widget's accessible name is "1" followed by one.
    enum PanelField {
        ContainerField = 0,
        TaskWeightField = 1,
        DoseFaultPlusField = 2,
        DoseFaultMinusField = 3,
        NetWeightField = 4,
        DeliveredField = 5,
        StateField = 6,
        UnitField = 7,
        DoseWeightField = 10,
        DoseCountField = 11,
        ShiftWeightField = 13,
        TotalDoseCountField = 14,
        TotalWeightField = 15
    };

    // Replaces the message boxes' way of running, so tests answer for the operator.
    void setPrompts(const ModalPrompts &replacement) { prompts = replacement; }
    const ProcessImage &processImage() const { return image; }
    DoserSupervisor &doserSupervisor() { return *supervisor; }
    // The doser the panel, manual control and the doser dialog act on.
    int selectedPosition() const { return selected; }
    void selectDoser(int position);
    const TrendRecorder &trendRecorder() const { return *trend; }
    // Null until the operator first opens it.
    TrendWindow *trendWindowShown() const { return trendWindow.get(); }
    PlantLink &plantLink() { return *plant; }
    PlantLinkDialog *plantLinkDialogShown() const { return plantDialog.get(); }
    // Tests give it their own clock and idle time.
    AccessControl &accessControl() { return *access; }
    // How often the return to Оператор is looked at.
    static constexpr int IdleCheckPeriodMs = 1000;

signals:
    // The batch is closed in data.db: time for its copy.
    void butchClosed(qint64 butchId);

public slots:
    void newButch();
    void restoreLastSession();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void showK310Settings();
    void changeK310Product(int position, const QString &name);
    void checkK310Connection(int id);
    void startTestMode();
    void stopTestMode();
    void showRs232Settings();
    void openCOMPort(const QString &port);
    void setCOMPortRate(const QString &rate);
    void showStat();
    void showStat2();
    void showJournal();
    void showTrend();

    void requestPOVersion(int position);
    void hasGetPOVersion(int id, const QString &version);
    void requestScale(int position);
    void hasGetScale(int id, const QString &step);
    void hasGetScale(int id, quint8 decimals);
    void requestNPD(int position);
    void hasGetNPD(int id, const QString &limit);
    void requestWeightScale(int position);
    void hasGetWeightScale(int id, const QString &unit);

    void disableK310Containers(bool disable);

    void enableControlElementsWhenButchIsDone();
    void disableControlElementsWhenButchStars();
    void prepareDevicesForStart(int position);
    void startButtonActions();
    void startButton();
    void enableControlElementsWhenStopAction();
    void stopButtonActions();
    void stopButton();
    void continueButtonActions();
    void continueButton();

    void setWeight(const QString &text, const QString &editorName);
    void setDoseFaultPlus(const QString &text, const QString &editorName);
    void requestDoseFaultPlus(int position);
    void hasGetDoseFaultPlus(int id, const QString &value);
    void setDoseFaultMinus(const QString &text, const QString &editorName);
    void requestDoseFaultMinus(int position);
    void hasGetDoseFaultMinus(int id, const QString &value);

    void requestWeightNETTO();
    void hasGetWeightNETTO(int id, const QString &weight);
    void connectionErrorActions(int id);
    void hasCurrentStateActions(int id, const QString &state);
    void doserStateReported(int id, DoserState state);
    QLabel *getLabel(int id, int field);

    void getProductsNames();

    bool canDoReceipt();

    void stopTimers();
    void startTimers();

    void workErrorActions(int id, const QString &text);
    void checkDeviceActivity();

    void hasGetSumWeightOfLastDownload(int id, const QString &weight);
    void requestSumWeightOfLastDownload(int position);

    void uploadDose(int position);
    void downloadDose(int position, qreal weight, quint8 decimals);
    void doFullCycle(int position);
    void stopWork(int position);
    void downloadDoseButton();
    void uploadDoseButton();
    void stopWorkButton();
    void doCycleButton();
    void stopAllWork();

    void checkDoseDownload();
    void doDownloadUploadCycle(int id);
    bool checkTheEndOfTheParty(int id);
    void prepareDoserForWork(int id);
    qreal calculateDoseWeight(int id, qreal remaining);

    void deviceConnectionTest(int position);
    void setDeviceActive0(bool on);

    void requestDoseCount(int position);
    void requestTotalCommonWeight(int position);
    void requestTotalCommonDoseCount(int position);
    void requestTotalWeight(int position);
    void hasGetDoseCount(int id, const QString &count);
    void hasGetTotalWeight(int id, const QString &counter);
    void hasGetTotalCommonDoseCount(int id, const QString &counter);

    void hasGetDoseUploadSignal(int id, const QString &weight);
    void hasGetTotalCommonWeight(int id, const QString &counter);

    // Host of the recipe panel.
    void openRecipes();
    void saveRecipe(const QString &path);
    void rewriteRecipe(const QString &path);
    void loadRecipe(const QString &path);

    // Host of the access levels.
    void showAccess();
    void accessLevelChanged(AccessLevel from, AccessLevel to, const QString &reason);
    void wrongPinEntered(int inRow, bool locked);
    void pinChanged(AccessLevel level);

    // Host of the plant link.
    void showPlantLink();
    void choosePlantLink(const PlantLinkSettings &settings);

private:
    // Taller than the classic panel by the batch's progress strip; a line adds its overview.
    static constexpr int WindowHeight = 291;

    // Construction and wiring.
    void offerSerialPorts();
    void wireDialogs();
    void wireWindow();
    void wireDoser(K310Device *doser);
    void centreOverWindow(QWidget *window);
    // The trend window's caption: the batch it shows.
    void captionTrend();
    // What the journal keeps of the events around a doser and its batch.
    void note(JournalEvent::Kind kind, const QString &text, int id = JournalEvent::NoDevice,
              int errorCode = JournalEvent::NoErrorCode);
    QString lineSettingsText() const;
    void showLinkCounters();

    // Supervision helpers.
    int deviceIndex(int id) const { return supervisor->positionOf(id); }
    bool isOnline(int position) const { return supervisor->isOnline(position); }
    bool isLost(int position) const { return supervisor->isLost(position); }
    K310Device *doser(int position) const { return supervisor->device(position); }
    int doserCount() const { return supervisor->doserCount(); }
    bool isDoser(int position) const { return position >= 0 && position < doserCount(); }
    // Orders to a doser that is switched off or lost are dropped.
    void sendIfOnline(int position, void (K310Device::*request)());
    void wireSupervisor();
    void doserLost(int position);
    void doserRegained(int position);
    void setDoserActive(int position, bool on);
    void resetDoserWork(int position);
    // The panel's editors and title for the doser shown.
    void fillPanelEditors();
    // The overview of the line shows with more than one doser; the window grows by it.
    void layOutLine();
    // The doser dialog changed the line: dosers added at its end or one removed.
    void applyLine(const QList<LineDoser> &line);
    // The three editors and the delivered weight, after the panel was switched back on.
    void enablePanelFields();

    // Batch helpers.
    // Sets the buttons, editors and timers for where the batch stands.
    void applyBatchState(BatchState state);
    void noteBatchEvent(JournalEvent::Kind kind, const QString &text, qint64 butchId, int id);
    void showRestoredTask(int position, const QString &taskWeight, const QString &delivered);
    bool isBatchRunning() const { return batch->isRunning(); }
    const DoserWork &work(int position) const { return batch->work(position); }
    QString weightText(int position, double weight) const;
    QString counterInUnits(int position, const QString &counter) const;
    // Draws the doser from the process image, the fields that changed.
    void drawDoser(int position);
    void showNoConnection(int position);

    // Recipe helpers.
    void wireRecipes();
    ReceiptParameters currentRecipe() const;

    // Access helpers.
    void wireAccess();
    // A damaged level table is told once the window stands; the console works at Оператор.
    void reportAccessProblem();
    // data.db that cannot be written is told instead, once; batches are refused meanwhile.
    bool reportRecordsProblem();
    // data.db and the settings file lose what others may do with them; journaled.
    void tightenFileModes();
    // True when the level allows it, or after the operator gave the PIN of a level that does.
    bool mayChange(AccessLevel needed);
    void enterPin();
    void offerAccessChoices();
    void setNewPin(AccessLevel level);
    void showAccessLevel();
    // A change of what the doser does or the console keeps: the level, old and new value.
    void noteChange(JournalEvent::Kind kind, const QString &what, const QString &before,
                    const QString &after, int id = JournalEvent::NoDevice);
    QString levelPrefix() const;

    // Dose option helpers.
    void wireDoseOptions();
    void showDoseOptions();
    void applyDoseOptions(const DoseOptions &options);
    void showDoseCorrection(int position);
    void resetDoseCorrection();

    // Formula batches: the start dialog, the formula window, the batches of a split one after
    // another.
    void formulaButton();
    void showFormulas(QWidget *over);
    void startFormulaBatch();
    void formulaBatchEnded(BatchState state);
    QList<LineCapacity> lineCapacities() const;

    // The production schedule: its runner, its window, its progress on the strip.
    void wireSchedule();
    void showSchedule();
    void showScheduleProgress();
    // Every doser on the line answering, stopped, its hopper all but empty.
    bool lineAtRest() const;

    // Plant link helpers.
    void wirePlantLink();
    void showPlantLinkStatus();
    // At exit: the journal's last batch events into the outbox, then the link sends and stops.
    void closePlantLink();

    // Manual control helpers.
    int positionOfEditor(const QString &editorName) const;
    void enterTaskWeight(int position, const QString &text);
    void enterPlusTolerance(int position, const QString &text);
    void enterMinusTolerance(int position, const QString &text);
    void noteManualOrder(const QString &order);

    // Questions: only "Да" is consent. A question the console closed itself (the doser was lost,
    // the batch ended) is dismissed, which callers take as "Нет" unless they say otherwise.
    Answer ask(const QString &text) override;
    void dismissQuestion() override;
    void inform(const QString &text) override;
    // The boxes are made when first needed, so they cost nothing at start-up.
    void makeMessageBoxes();

    // The form is held, not inherited: its buttons share their names with the slots they call.
    Ui::K310_HalvernClass ui;
    K310Link *link = nullptr;
    rs232Settings *rs232 = nullptr;
    k310Settings *k310 = nullptr;
    // The secondary windows are made when the operator first opens them.
    std::unique_ptr<Product> productWindow;
    std::unique_ptr<Stat> statWindow;
    std::unique_ptr<Journal> journalWindow;
    std::unique_ptr<FormulaWindow> formulaWindow;
    // The batches of the formula still to run, the first in work.
    FormulaStartDialog::Choice formulaRun;
    Database database;
    EventJournal journal;
    ProcessImage image {0};
    std::unique_ptr<LineQueue> queue;
    std::unique_ptr<DoserSupervisor> supervisor;
    std::unique_ptr<BatchRun> batch;
    // After the batch it follows, so it goes first.
    std::unique_ptr<ScheduleRunner> schedule;
    std::unique_ptr<ScheduleWindow> scheduleWindow;
    // The plant's orders into the schedule and the schedule's state back to the plant.
    std::unique_ptr<PlantOrders> plantOrders;
    std::unique_ptr<DoserPanel> panel;
    LineOverview *overview = nullptr;
    int selected = 0;
    // The dosers' short names on the line, by position.
    QStringList doserNames;
    std::unique_ptr<TrendRecorder> trend;
    std::unique_ptr<TrendWindow> trendWindow;
    // A child of the doser dialog it is opened from, and deleted with it.
    DoseOptionsDialog *doseOptionsDialog = nullptr;
    // Changes of address, port and rate are the operator's only once the window stands.
    bool constructed = false;
    SerialLineMemory serialLine;

    QMessageBox *questionBox = nullptr;
    QAbstractButton *yesButton = nullptr;
    bool questionDismissed = false;
    bool questionRunning = false;
    QMessageBox *infoBox = nullptr;
    QMessageBox *accessBox = nullptr;
    ModalPrompts prompts;
    std::unique_ptr<AccessStore> accessStore;
    std::unique_ptr<AccessControl> access;
    std::unique_ptr<ActivityFilter> activity;
    QTimer idleTimer;
    // The line as opened last, for the old value of a change.
    QString openedPort;
    QString setRate;
    // Last, so it stops (and says "offline") before the image and the records go.
    std::unique_ptr<PlantLink> plant;
    std::unique_ptr<PlantLinkDialog> plantDialog;
};

#endif // K310_HALVERN_H
