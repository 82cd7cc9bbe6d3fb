#include "rs232settings.h"

#include <QComboBox>
#include <QPushButton>

rs232Settings::rs232Settings(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setupUi(this);
    setModal(true);
    adjustSize();
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);

    connect(pushButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(comPortNameComboBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { emit comPortChanged(comPortNameComboBox->itemText(index)); });
    connect(comPortRatecomboBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { emit rateChanged(comPortRatecomboBox->itemText(index)); });
}

rs232Settings::~rs232Settings()
{
    qDebug("~rs232Settings()");
}

void rs232Settings::addComPorts(const QList<QString> &ports)
{
    comPortNameComboBox->addItems(ports);
}

QString rs232Settings::getCurrentCOMPort() const
{
    return comPortNameComboBox->currentText();
}

QString rs232Settings::getCurrentCOMPortRate() const
{
    return comPortRatecomboBox->currentText();
}

#include "moc_rs232settings.cpp"
