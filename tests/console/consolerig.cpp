#include "consolerig.h"

#include "k310_halvern.h"
#include "k310settings.h"
#include "lineeditembedded.h"
#include "modalprompts.h"
#include "seriallinememory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

constexpr int AnswerDelayMs = 30;

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

ConsoleRig::ConsoleRig()
    : settingsFolder(std::make_unique<QTemporaryDir>())
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder->path());
    QDir::setCurrent(QFileInfo(database.path()).absolutePath());
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

K310_Halvern *ConsoleRig::startConsole()
{
    window = std::make_unique<K310_Halvern>();
    ModalPrompts prompts;
    prompts.runBox = [this](QMessageBox *box) {
        const QString question = box->text();
        person.shown << question;
        const bool isQuestion = box->buttons().size() > 1;
        const QString answer =
            person.rules.value(question, isQuestion ? QStringLiteral("Нет") : QString());
        QAbstractButton *button =
            answer.isEmpty() ? box->buttons().value(0) : buttonWithText(box, answer);
        QTimer::singleShot(AnswerDelayMs, box, [box, button] {
            if (box->isVisible() && button)
                button->click();
        });
        return ModalPrompts::standardRunBox(box);
    };
    window->setPrompts(prompts);
    window->show();
    window->restoreLastSession();
    return window.get();
}

void ConsoleRig::closeConsole()
{
    window.reset();
}

void ConsoleRig::storeDoserNumber(int number)
{
    k310Settings dialog;
    dialog.k310Id->setCurrentIndex(number);
    dialog.saveK310Id();
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

void ConsoleRig::prepareBatch(const QString &product, const QString &target)
{
    database.exec(QStringLiteral("INSERT INTO product (productName) VALUES (?1)"), {product});
    window->findChild<QPushButton *>(QStringLiteral("k310SettingsButton"))->click();
    k310Settings *dialog = doserDialog();
    QVERIFY(dialog && dialog->isVisible());
    dialog->productType->setCurrentIndex(dialog->productType->findText(product));
    dialog->closeButton->click();
    enter("productWeightK310_11", target);
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

QStringList ConsoleRig::doserLog(const QString &containing)
{
    return simulator->logLines().filter(containing);
}
