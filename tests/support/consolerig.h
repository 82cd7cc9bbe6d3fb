#ifndef CONSOLERIG_H
#define CONSOLERIG_H

#include "modalprompts.h"
#include "simulatorprocess.h"
#include "temporarydatabase.h"

#include <QHash>
#include <QStringList>

#include <memory>

class K310_Halvern;
class QLabel;
class QProcess;
class QTemporaryDir;
class k310Settings;

// The operator in front of the console: answers each question by a rule for its text ("Нет"
// when no rule says otherwise; the one button of a report), a moment after it appears, so the
// console runs its own event loop meanwhile as it does for a person.
class PanelOperator
{
public:
    void answer(const QString &question, const QString &button) { rules.insert(question, button); }
    // The answer to a question no rule names.
    QString otherwise = QStringLiteral("Нет");
    // Every text shown to the operator, in order.
    QStringList shown;
    // What the operator types, in turn, where the console asks for a text on the keyboard; once
    // they are used up, the text offered is taken as it stands.
    QStringList typing;
    // The texts the console offered on the keyboard, in order.
    QStringList offered;

private:
    friend class ConsoleRig;
    QHash<QString, QString> rules;
};

// A console under test as it runs at a site: its own working folder with data.db and settings,
// the simulated doser on a pseudo-terminal as the remembered port, the window shown and the
// unfinished batch offered as at start-up.
class ConsoleRig
{
public:
    // Generous waits on a noisy machine: for the simulated doser to answer after a start, and for
    // a whole batch of quick fills and discharges.
    static constexpr int ConnectedMs = 5000;
    static constexpr int BatchMs = 120000;

    // Quick hopper rates so a fill and a discharge take a second or so.
    static QStringList quickDoser();
    // A doser with noise and product in flight, repeatable by its seed, at rates that keep a
    // soak run to minutes.
    static QStringList soakDoser(quint32 seed);

    ConsoleRig();
    // A rig in the folders of another one, for a console in a second process of the test.
    ConsoleRig(const QString &workingFolder, const QString &settingsFolder);
    ~ConsoleRig();

    QString settingsPath() const { return settingsFolder; }

    // A console in a second process of this test program, on this rig's folders and doser, that
    // answers "Начать новую работу?" with "Да" and starts a batch of the product, to be killed
    // mid-batch (without a product: starts the stored schedule). The test's main() hands over to
    // runChildBatch() when isChild().
    bool startChildBatch(QProcess &child, const QString &product, const QString &target);
    static bool isChild();
    static int runChildBatch();

    bool startSimulator(const QStringList &arguments);
    // Starts the program's way: constructed, shown, then the unfinished batch offered.
    K310_Halvern *startConsole();
    void closeConsole();
    // Until the console has read the doser's limit and tolerances, as before a batch.
    void waitForDoser();
    // Stores the doser number the console reads at start.
    void storeDoserNumber(int number);
    // Stores the dosers on the line the console reads at start, by their addresses.
    void storeLine(const QList<int> &addresses);

    K310_Halvern *console() const { return window.get(); }
    // How the operator answers the message boxes, for the windows the console opens.
    ModalPrompts operatorPrompts();
    SimulatorProcess &doser() { return *simulator; }
    TemporaryDatabase &records() { return database; }
    PanelOperator &operatorAtPanel() { return person; }
    k310Settings *doserDialog() const;

    QString text(const char *objectName) const;
    QLabel *label(const char *objectName) const;
    void click(const char *objectName);
    bool isEnabled(const char *buttonName) const;
    // Types a text on the keyboard of one of the panel's editors.
    void enter(const char *editorName, const QString &text);
    // Chooses a product of data.db in the doser dialog and types the target, as the operator
    // does through the panel's button; on a line, for the doser at that position (selected).
    void prepareBatch(const QString &product, const QString &target, int position = 0);
    // Chooses a listed product in the doser dialog without opening it.
    void chooseProduct(const QString &product);

    // A weight text in hundredths, so sums are exact to the last digit.
    static qint64 hundredths(const QString &weight);
    // The weights the doser logged for fills ("fill") or discharges ("discharge") from a log
    // line on; on a line of several, those of the doser at the address.
    QStringList loggedWeights(const QString &what, int fromLine, int address = -1);
    // What a batch must have counted of the discharges from a log line on: all but the residues
    // below a quarter of the plus tolerance, which it declines.
    qint64 countableDischarges(int fromLine, const QString &plusTolerance, int address = -1);
    // The sum of the counted dose rows of a batch.
    qint64 countedDoseRows(const QString &butchId);

    // Requests of the doser protocol the simulator has logged so far, by command code.
    int requestsSeen(quint8 command);
    // The simulator's log lines that contain the text.
    QStringList doserLog(const QString &containing);

private:
    void useFolders();

    TemporaryDatabase database;
    std::unique_ptr<QTemporaryDir> ownSettings;
    QString settingsFolder;
    std::unique_ptr<SimulatorProcess> simulator;
    std::unique_ptr<K310_Halvern> window;
    PanelOperator person;
};

#endif // CONSOLERIG_H
