#include "k310settings.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSettings>
#include <QTextBrowser>

namespace {

constexpr int describedDeviceIndex = 0;
constexpr int lowestK310Id = 0;
constexpr int highestK310Id = 127;
constexpr int defaultK310Id = 30;
const char *const organisationName = "KESTA";
const char *const applicationName = "K310_Test";
const char *const k310IdKey = "k310Id";

} // namespace

k310Settings::k310Settings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setupUi(this);
    setModal(true);
    settings = makeStore();

    for (int id = lowestK310Id; id <= highestK310Id; ++id)
        k310Id->addItem(QString::number(id));

    adjustSize();
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);
    showFieldsOnWindowColour();

    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(k310Id, &QComboBox::currentIndexChanged, this, &k310Settings::k310IdChanged);
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

void k310Settings::restoreK310Id()
{
    const QString stored = settings->value(k310IdKey, QString::number(defaultK310Id)).toString();
    bool isNumber = false;
    int id = stored.toInt(&isNumber, 10);
    if (!isNumber || id < lowestK310Id || id > highestK310Id) {
        // Selecting no item would address the doser as -1.
        qDebug().noquote() << QStringLiteral("stored k310Id \"%1\" is not a doser number %2..%3, "
                                             "doser number %4 is used")
                                  .arg(stored)
                                  .arg(lowestK310Id)
                                  .arg(highestK310Id)
                                  .arg(defaultK310Id);
        id = defaultK310Id;
    }
    k310Id->setCurrentIndex(id);
}

void k310Settings::saveK310Id()
{
    settings->setValue(k310IdKey, k310Id->currentIndex());
    settings->sync();
}

int k310Settings::currentDeviceIndex() const
{
    return describedDeviceIndex;
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
    emit k310ProductChanged(describedDeviceIndex, name);
}
