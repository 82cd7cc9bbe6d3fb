#ifndef K310_HALVERN_H
#define K310_HALVERN_H

#include "butchrecords.h"
#include "database.h"
#include "doserwork.h"
#include "eventjournal.h"
#include "modalprompts.h"
#include "seriallinememory.h"
#include "ui_K310_HalvernClass.h"

#include <QList>
#include <QTimer>
#include <QWidget>

#include <memory>

class Journal;
class K310Device;
class K310Link;
class Product;
class Stat;
class QAbstractButton;
class ReceiptParameters;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class k310Settings;
class rs232Settings;

// The operator console: owns the doser line, the doser, the settings dialogs, the product and
// statistics windows and the production records, supervises the doser, runs batches and passes
// on the operator's manual orders. The slots are defined by concern: construction, wiring and
// closing here (k310_halvern.cpp), the doser's supervision (supervision.cpp), batches
// (batchworkflow.cpp), manual control (manualcontrol.cpp) and the recipe panel
// (recipehosting.cpp).
class K310_Halvern : public QWidget
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

private:
    // Periods of the three timers: probing lost dosers, polling the weight between batches,
    // driving the fill/discharge cycle of a batch.
    static constexpr int ActivityPeriodMs = 500;
    static constexpr int WeightPeriodMs = 190;
    static constexpr int DosePeriodMs = 160;

    // Construction and wiring.
    void offerSerialPorts();
    void wireDialogs();
    void wireWindow();
    void wireDoser(K310Device *doser);
    void centreOverWindow(QWidget *window);
    // What the journal keeps of the events around a doser and its batch.
    void note(JournalEvent::Kind kind, const QString &text, int id = JournalEvent::NoDevice,
              int errorCode = JournalEvent::NoErrorCode);
    // The events of the batch's own course.
    void noteButch(JournalEvent::Kind kind, const QString &text, int id = JournalEvent::NoDevice);
    QString lineSettingsText() const;
    void showLinkCounters();

    // Supervision helpers.
    int deviceIndex(int id) const;
    bool isOnline(int position) const;
    bool isLost(int position) const;
    // Orders to a doser that is switched off or lost are dropped.
    void sendIfOnline(int position, void (K310Device::*request)());
    void moveToOffDevices(int position);
    void moveToOnDevices(int position);
    void sleepWithEvents(int ms);
    void setLabelText(int id, const QString &text, int field);
    void setLabelNumber(int id, int field, double value);
    void setAllLabelsText(int field, const QString &text);
    void setEditorText(int id, const QString &text, int field);
    void showState(QLabel *label, const QString &text, bool bold);
    void resetDoserWork(int position);
    // The three editors and the delivered weight, after the panel was switched back on.
    void enablePanelFields();

    // Batch helpers.
    void countDelivered(int position, double weight, const QString &orderedWeight);
    void keepFillLedger(int position, quint32 total);
    void forgetFillLedger(int position);
    DoseRecord doseRecord(int position, double discharged, const QString &orderedWeight,
                          bool counted) const;
    QString taskText(int position) const;
    void chooseDoseWeight(int position);
    bool hasKnownWeighingLimit(int position);
    // The doser's own stop requests end automatic work, except while a batch starts or resumes.
    void watchForStopRequests(K310Device *doser, bool watch);
    bool isBatchRunning() const;
    QString weightText(int position, double weight) const;
    QString counterInUnits(int position, const QString &counter) const;

    // Recipe helpers.
    void wireRecipes();
    ReceiptParameters currentRecipe() const;

    // Manual control helpers.
    static int positionOfEditor(const QString &editorName);
    void noteManualOrder(const QString &order);

    // Questions: only "Да" is consent. A question the console closed itself (the doser was lost,
    // the batch ended) is dismissed, which callers take as "Нет" unless they say otherwise.
    enum class Answer { Yes, No, Dismissed };
    Answer ask(const QString &text);
    void dismissQuestion();
    void inform(const QString &text);
    // The boxes are made when first needed, so they cost nothing at start-up.
    void makeMessageBoxes();

    // The form is held, not inherited: its buttons share their names with the slots they call.
    Ui::K310_HalvernClass ui;
    K310Link *link = nullptr;
    QList<K310Device *> devices;
    QList<DoserWork> doserWork;
    rs232Settings *rs232 = nullptr;
    k310Settings *k310 = nullptr;
    // The secondary windows are made when the operator first opens them.
    std::unique_ptr<Product> productWindow;
    std::unique_ptr<Stat> statWindow;
    std::unique_ptr<Journal> journalWindow;
    Database database;
    ButchRecords butchRecords {database};
    EventJournal journal;
    // Changes of address, port and rate are the operator's only once the window stands.
    bool constructed = false;
    SerialLineMemory serialLine;

    quint64 currentButchId = 0;
    int partsLeft = 0;
    QList<int> onDevices;
    QList<int> offDevices;
    int activityPosition = 0;
    int weightPosition = 0;
    int dosePosition = 0;
    QTimer weightTimer;
    QTimer activityTimer;
    QTimer doseTimer;
    QMessageBox *questionBox = nullptr;
    QAbstractButton *yesButton = nullptr;
    bool questionDismissed = false;
    bool questionRunning = false;
    QMessageBox *infoBox = nullptr;
    bool workStarted = false;
    bool workContinued = false;
    ModalPrompts prompts;
};

#endif // K310_HALVERN_H
