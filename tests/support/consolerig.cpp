#include "consolerig.h"

#include "k310_halvern.h"
#include "k310settings.h"
#include "linedosers.h"
#include "lineeditembedded.h"
#include "modalprompts.h"
#include "seriallinememory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int AnswerDelayMs = 30;

// What the second process of a restart test is to do.
constexpr char ChildFolder[] = "K310_TEST_CHILD_FOLDER";
constexpr char ChildSettings[] = "K310_TEST_CHILD_SETTINGS";
constexpr char ChildProduct[] = "K310_TEST_CHILD_PRODUCT";
constexpr char ChildTarget[] = "K310_TEST_CHILD_TARGET";

QAbstractButton *buttonWithText(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

} // namespace

QStringList ConsoleRig::quickDoser()
{
    return {"--log-frames", "--feed-rate",      "20", "--fine-rate", "2",   "--settle-ms",
            "100",          "--discharge-rate", "40", "--in-flight", "0.02"};
}

QStringList ConsoleRig::soakDoser(quint32 seed)
{
    return {"--log-frames",
            "--seed",
            QString::number(seed),
            "--feed-rate",
            "40",
            "--fine-rate",
            "4",
            "--settle-ms",
            "100",
            "--discharge-rate",
            "80",
            "--noise",
            "0.01",
            "--in-flight",
            "0.05"};
}

bool ConsoleRig::isEnabled(const char *buttonName) const
{
    const auto *button = window->findChild<QPushButton *>(QLatin1String(buttonName));
    return button && button->isEnabled();
}

ConsoleRig::ConsoleRig()
    : ownSettings(std::make_unique<QTemporaryDir>())
    , settingsFolder(ownSettings->path())
{
    useFolders();
}

ConsoleRig::ConsoleRig(const QString &workingFolder, const QString &settings)
    : database(workingFolder)
    , settingsFolder(settings)
{
    useFolders();
}

void ConsoleRig::useFolders()
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder);
    QDir::setCurrent(database.folderPath());
}

bool ConsoleRig::startChildBatch(QProcess &child, const QString &product, const QString &target)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(ChildFolder, database.folderPath());
    environment.insert(ChildSettings, settingsFolder);
    environment.insert(ChildProduct, product);
    environment.insert(ChildTarget, target);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QApplication::applicationFilePath(), {});
    return child.waitForStarted();
}

bool ConsoleRig::isChild()
{
    return qEnvironmentVariableIsSet(ChildFolder);
}

int ConsoleRig::runChildBatch()
{
    ConsoleRig rig(qEnvironmentVariable(ChildFolder), qEnvironmentVariable(ChildSettings));
    rig.operatorAtPanel().answer(QStringLiteral("Начать новую работу?"), QStringLiteral("Да"));
    rig.startConsole();
    rig.waitForDoser();
    if (qEnvironmentVariable(ChildProduct).isEmpty()) {
        // No product: "Начать очередь" in the schedule's window.
        QTimer::singleShot(300, rig.console(), [] {
            QWidget *window = QApplication::activeModalWidget();
            if (!window)
                return;
            window->findChild<QPushButton *>(QStringLiteral("startButton"))->click();
            window->findChild<QPushButton *>(QStringLiteral("closeButton"))->click();
        });
        rig.click("scheduleButton");
        return QApplication::exec();
    }
    // On a line, a product and a target per doser, separated by commas.
    const QStringList products = qEnvironmentVariable(ChildProduct).split(QLatin1Char(','));
    const QStringList targets = qEnvironmentVariable(ChildTarget).split(QLatin1Char(','));
    for (int position = 0; position < products.size(); ++position)
        rig.prepareBatch(products.at(position), targets.value(position), position);
    rig.click("startButton");
    return QApplication::exec();
}

ConsoleRig::~ConsoleRig()
{
    closeConsole();
}

bool ConsoleRig::startSimulator(const QStringList &arguments)
{
    simulator = std::make_unique<SimulatorProcess>(QStringLiteral(K310SIM_PROGRAM));
    if (!simulator->start(arguments))
        return false;
    qputenv("K310_EXTRA_PORTS", simulator->portPath().toLocal8Bit());
    SerialLineMemory().rememberPort(simulator->portPath());
    return true;
}

ModalPrompts ConsoleRig::operatorPrompts()
{
    ModalPrompts prompts;
    prompts.runBox = [this](QMessageBox *box) {
        const QString question = box->text();
        person.shown << question;
        const bool isQuestion = box->buttons().size() > 1;
        const QString answer =
            person.rules.value(question, isQuestion ? person.otherwise : QString());
        QAbstractButton *button =
            answer.isEmpty() ? box->buttons().value(0) : buttonWithText(box, answer);
        QTimer::singleShot(AnswerDelayMs, box, [box, button] {
            if (box->isVisible() && button)
                button->click();
        });
        return ModalPrompts::standardRunBox(box);
    };
    prompts.enterText = [this](QWidget *, const QString &,
                               const QString &text) -> std::optional<QString> {
        person.offered << text;
        return person.typing.isEmpty() ? text : person.typing.takeFirst();
    };
    return prompts;
}

K310_Halvern *ConsoleRig::startConsole()
{
    window = std::make_unique<K310_Halvern>();
    window->setPrompts(operatorPrompts());
    window->show();
    window->restoreLastSession();
    return window.get();
}

void ConsoleRig::closeConsole()
{
    window.reset();
}

void ConsoleRig::waitForDoser()
{
    QTRY_VERIFY_WITH_TIMEOUT(!doserDialog()->weightNPV->text().isEmpty(), ConnectedMs);
    QTRY_VERIFY_WITH_TIMEOUT(!text("doseFaultPlusK310_11").isEmpty(), ConnectedMs);
}

void ConsoleRig::storeDoserNumber(int number)
{
    k310Settings dialog;
    dialog.k310Id->setCurrentIndex(number);
    dialog.saveK310Id();
}

void ConsoleRig::storeLine(const QList<int> &addresses)
{
    QList<LineDoser> line;
    for (int address : addresses)
        line.append(LineDoser {address, QString()});
    LineDosers::save(*k310Settings::makeStore(), line);
}

k310Settings *ConsoleRig::doserDialog() const
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<k310Settings *>(widget))
            return dialog;
    }
    return nullptr;
}

QLabel *ConsoleRig::label(const char *objectName) const
{
    return window->findChild<QLabel *>(QLatin1String(objectName));
}

QString ConsoleRig::text(const char *objectName) const
{
    if (QLabel *found = label(objectName))
        return found->text();
    if (auto *editor = window->findChild<QLineEdit *>(QLatin1String(objectName)))
        return editor->text();
    return QString();
}

void ConsoleRig::click(const char *objectName)
{
    auto *button = window->findChild<QPushButton *>(QLatin1String(objectName));
    QVERIFY2(button, objectName);
    QVERIFY2(button->isEnabled(), objectName);
    QTest::mouseClick(button, Qt::LeftButton);
}

void ConsoleRig::enter(const char *editorName, const QString &text)
{
    auto *editor = window->findChild<LineEditEmbedded *>(QLatin1String(editorName));
    QVERIFY2(editor, editorName);
    editor->acceptKeyboardText(text);
}

void ConsoleRig::prepareBatch(const QString &product, const QString &target, int position)
{
    window->selectDoser(position);
    if (database
            .select(QStringLiteral("SELECT COUNT(*) FROM product WHERE productName = ?1"),
                    {product})
            .value(0)
        == QLatin1String("0"))
        database.exec(QStringLiteral("INSERT INTO product (productName) VALUES (?1)"), {product});
    click("k310SettingsButton");
    QVERIFY(doserDialog()->isVisible());
    chooseProduct(product);
    doserDialog()->closeButton->click();
    enter("productWeightK310_11", target);
}

void ConsoleRig::chooseProduct(const QString &product)
{
    QComboBox *products = doserDialog()->productType;
    products->setCurrentIndex(-1);
    products->setCurrentIndex(products->findText(product));
}

int ConsoleRig::requestsSeen(quint8 command)
{
    int count = 0;
    for (const QString &line : simulator->logLines()) {
        const int at = line.indexOf(QLatin1String("<- "));
        if (at < 0)
            continue;
        const QStringList bytes = line.mid(at + 3).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (bytes.size() > 2 && bytes.at(2).toUInt(nullptr, 16) == command)
            ++count;
    }
    return count;
}

qint64 ConsoleRig::hundredths(const QString &weight)
{
    return qRound64(weight.toDouble() * 100);
}

QStringList ConsoleRig::loggedWeights(const QString &what, int fromLine, int address)
{
    const QString doser = address < 0 ? QString() : QStringLiteral("doser %1: ").arg(address);
    const QRegularExpression pattern(
        QStringLiteral("\\] %1%2 of (-?[0-9.]+) started").arg(doser, what));
    QStringList weights;
    const QStringList lines = simulator->logLines();
    for (int i = fromLine; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = pattern.match(lines.at(i));
        if (match.hasMatch())
            weights << match.captured(1);
    }
    return weights;
}

qint64 ConsoleRig::countableDischarges(int fromLine, const QString &plusTolerance, int address)
{
    qint64 sum = 0;
    for (const QString &weight : loggedWeights(QStringLiteral("discharge"), fromLine, address)) {
        if (4 * hundredths(weight) >= hundredths(plusTolerance))
            sum += hundredths(weight);
    }
    return sum;
}

qint64 ConsoleRig::countedDoseRows(const QString &butchId)
{
    qint64 sum = 0;
    for (const QString &weight : database.select(
             QStringLiteral("SELECT dischargedWeight FROM dose WHERE counted = 1 AND idButch = ?1"),
             {butchId}))
        sum += hundredths(weight);
    return sum;
}

QStringList ConsoleRig::doserLog(const QString &containing)
{
    return simulator->logLines().filter(containing);
}
