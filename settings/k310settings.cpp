#include "k310settings.h"

#include "lineeditembedded.h"
#include "settingslog.h"
#include "touchsize.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTextBrowser>

namespace {

constexpr int firstPosition = 0;
constexpr int lowestK310Id = LineDosers::LowestAddress;
constexpr int highestK310Id = LineDosers::HighestAddress;
constexpr int defaultK310Id = LineDoser::DefaultAddress;
// Rows the list shows without scrolling.
constexpr int visibleLineRows = 3;
constexpr int addressColumn = 0;
constexpr int nameColumn = 1;
const char *const organisationName = "KESTA";
const char *const applicationName = "K310_Test";

} // namespace

k310Settings::k310Settings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setupUi(this);
    setModal(true);
    settings = makeStore();
    line = LineDosers::load(*settings);
    runBox = [](QMessageBox *box) {
        box->exec();
        return box->clickedButton();
    };

    for (int id = lowestK310Id; id <= highestK310Id; ++id)
        k310Id->addItem(QString::number(id));

    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);
    showFieldsOnWindowColour();
    setUpLineTable();
    showLine(firstPosition);
    adjustSize();

    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(k310Id, &QComboBox::currentIndexChanged, this, &k310Settings::takeK310Id);
    connect(lineTable, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previousRow) {
                if (row >= 0 && row != previousRow)
                    showDoser(row);
            });
    // The keyboard only announces the text; the fields show it until the doser is added.
    connect(newAddress, &LineEditEmbedded::textHasEntered, newAddress, &QLineEdit::setText);
    connect(newName, &LineEditEmbedded::textHasEntered, newName, &QLineEdit::setText);
    connect(addDoserButton, &QPushButton::clicked, this, &k310Settings::addDoser);
    connect(removeDoserButton, &QPushButton::clicked, this, &k310Settings::removeDoser);
    connect(productType, &QComboBox::currentIndexChanged, this,
            [this](int index) { productTypeChanged(productType->itemText(index)); });
    connect(stopTestMode, &QPushButton::clicked, this, &k310Settings::stopTestModeClicked);
    connect(startTestMode, &QPushButton::clicked, this, &k310Settings::startTestModeClicked);
    connect(resetCorrectionButton, &QPushButton::clicked, this,
            &k310Settings::resetCorrectionClicked);
    connect(doseOptionsButton, &QPushButton::clicked, this, &k310Settings::doseOptionsClicked);
}

void k310Settings::setDoseCorrection(const QString &text)
{
    doseCorrection->setText(text);
}

std::unique_ptr<QSettings> k310Settings::makeStore()
{
    // The default format is the native store; tests switch it to files of their own.
    return std::make_unique<QSettings>(QSettings::defaultFormat(), QSettings::UserScope,
                                       organisationName, applicationName);
}

k310Settings::~k310Settings()
{
    qDebug("~k310Settings()");
    saveK310Id();
}

void k310Settings::showFieldsOnWindowColour()
{
    for (QLineEdit *field : {weightScale, weightNPV, digitScale, poVersion}) {
        QPalette palette = field->palette();
        for (int group = 0; group < QPalette::NColorGroups; ++group) {
            const auto colorGroup = QPalette::ColorGroup(group);
            palette.setBrush(colorGroup, QPalette::Base,
                             palette.brush(colorGroup, QPalette::Window));
        }
        field->setPalette(palette);
    }
}

void k310Settings::setUpLineTable()
{
    // Every row a finger high on the panel's screen.
    const int rowHeight = TouchSize::minimumPixels(screen());
    QHeaderView *rows = lineTable->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    lineTable->horizontalHeader()->setSectionResizeMode(addressColumn,
                                                        QHeaderView::ResizeToContents);
    lineTable->setMinimumHeight(lineTable->horizontalHeader()->sizeHint().height()
                                + visibleLineRows * rowHeight + 2 * lineTable->frameWidth());
}

void k310Settings::showLine(int position)
{
    const QSignalBlocker quiet(lineTable);
    lineTable->setRowCount(int(line.size()));
    for (int row = 0; row < line.size(); ++row) {
        const LineDoser &doser = line.at(row);
        const QString texts[] = {QString::number(doser.address), doser.shownName()};
        for (int column : {addressColumn, nameColumn}) {
            auto *item = new QTableWidgetItem(texts[column]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            lineTable->setItem(row, column, item);
        }
    }
    lineTable->setCurrentCell(position, addressColumn);
}

void k310Settings::showDoser(int position)
{
    {
        const QSignalBlocker quiet(k310Id);
        k310Id->setCurrentIndex(line.at(position).address);
    }
    clearInfo();
    emit currentDoserChanged(position);
}

void k310Settings::setCurrentDeviceIndex(int position)
{
    if (position >= 0 && position < line.size())
        lineTable->setCurrentCell(position, addressColumn);
}

void k310Settings::setChangeGuard(std::function<bool()> mayChange)
{
    mayChangeLine = std::move(mayChange);
}

void k310Settings::setRemovalGuard(std::function<QString(int position)> refusal)
{
    removalRefusal = std::move(refusal);
}

void k310Settings::setRunBox(RunBox run)
{
    runBox = std::move(run);
}

void k310Settings::takeK310Id(int id)
{
    const int position = currentDeviceIndex();
    LineDoser &shown = line[position];
    if (id >= lowestK310Id && id <= highestK310Id && id != shown.address) {
        QList<LineDoser> others = line;
        others.removeAt(position);
        const QString reason = LineDosers::refusal(others, LineDoser {id, shown.name});
        if (!reason.isEmpty()) {
            // Two dosers at one address would both answer every request.
            const QSignalBlocker quiet(k310Id);
            k310Id->setCurrentIndex(shown.address);
            tell(reason);
            return;
        }
        shown.address = id;
        showLine(position);
    }
    emit k310IdChanged(id);
}

void k310Settings::addDoser()
{
    if (mayChangeLine && !mayChangeLine())
        return;
    bool isNumber = false;
    LineDoser added;
    added.address = newAddress->text().trimmed().toInt(&isNumber, 10);
    if (!isNumber)
        added.address = -1;
    added.name = newName->text().trimmed();
    const QString reason = LineDosers::refusal(line, added);
    if (!reason.isEmpty()) {
        tell(reason);
        return;
    }
    newAddress->clear();
    newName->clear();
    QList<LineDoser> changed = line;
    changed.append(added);
    changeLine(changed, int(changed.size()) - 1);
}

void k310Settings::removeDoser()
{
    if (mayChangeLine && !mayChangeLine())
        return;
    const int position = currentDeviceIndex();
    QString reason = LineDosers::removalRefusal(line, position);
    if (reason.isEmpty() && removalRefusal)
        reason = removalRefusal(position);
    if (!reason.isEmpty()) {
        tell(reason);
        return;
    }
    QList<LineDoser> changed = line;
    changed.removeAt(position);
    changeLine(changed, qMin(position, int(changed.size()) - 1));
}

void k310Settings::changeLine(const QList<LineDoser> &changed, int position)
{
    line = changed;
    saveK310Id();
    showLine(position);
    // The console learns of the new line before it is asked to describe one of its dosers.
    emit lineChanged(line);
    showDoser(position);
}

void k310Settings::tell(const QString &reason)
{
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("Сообщение"));
    box.setIcon(QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setFont(font());
    box.setText(reason);
    box.addButton(QStringLiteral("Ok"), QMessageBox::AcceptRole);
    runBox(&box);
}

void k310Settings::restoreK310Id()
{
    const QString stored =
        settings->value(LineDosers::K310IdKey, QString::number(defaultK310Id)).toString();
    bool isNumber = false;
    int id = stored.toInt(&isNumber, 10);
    if (!isNumber || id < lowestK310Id || id > highestK310Id) {
        // Selecting no item would address the doser as -1. The first doser of the stored line
        // (30 without one) keeps the line free of a second doser at one address.
        const int fallback = line.first().address;
        qCInfo(lcSettings).noquote()
            << QStringLiteral("stored k310Id \"%1\" is not a doser number %2..%3, "
                              "doser number %4 is used")
                   .arg(stored)
                   .arg(lowestK310Id)
                   .arg(highestK310Id)
                   .arg(fallback);
        id = fallback;
    }
    setCurrentDeviceIndex(firstPosition);
    k310Id->setCurrentIndex(id);
}

void k310Settings::saveK310Id()
{
    LineDosers::save(*settings, line);
    settings->sync();
}

int k310Settings::currentDeviceIndex() const
{
    const int row = lineTable->currentRow();
    return row >= 0 ? row : firstPosition;
}

void k310Settings::setWeightScale(const QString &text)
{
    weightScale->setText(text);
}

void k310Settings::setWeightNPV(const QString &text)
{
    weightNPV->setText(text);
}

void k310Settings::setDigitScale(const QString &text)
{
    digitScale->setText(text);
}

void k310Settings::setPOVersion(const QString &text)
{
    poVersion->setText(text);
}

void k310Settings::clearInfo()
{
    weightScale->clear();
    weightNPV->clear();
    digitScale->clear();
    poVersion->clear();
    k310Info->clear();
}

void k310Settings::setLinkCounters(quint64 sent, quint64 answered, quint64 notAnswered,
                                   quint64 corrupt)
{
    linkCounters->setText(
        QStringLiteral("Запросов: %1, ответов: %2, без ответа: %3, искажённых: %4")
            .arg(sent)
            .arg(answered)
            .arg(notAnswered)
            .arg(corrupt));
}

void k310Settings::clearErrorMessage()
{
    k310Info->clear();
}

void k310Settings::setCurrentProductType(const QString &name)
{
    selectProduct(productType->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void k310Settings::selectProduct(int index)
{
    // An emptied combo box would report its change to "no item" again on every such request.
    if (index != productType->currentIndex())
        productType->setCurrentIndex(index);
}

void k310Settings::setErrorMessage(const QString &text)
{
    // Shown as it stands: a text that happens to look like markup must not be rendered.
    k310Info->setPlainText(text);
}

void k310Settings::addProductType(const QString &name)
{
    productType->addItem(name);
}

void k310Settings::dellAllProductTypes()
{
    productType->clear();
}

void k310Settings::setStartIndex()
{
    selectProduct(-1);
}

void k310Settings::disableProductType(bool disable)
{
    productType->setDisabled(disable);
}

void k310Settings::productTypeChanged(const QString &name)
{
    emit k310ProductChanged(currentDeviceIndex(), name);
}

#include "moc_k310settings.cpp"
