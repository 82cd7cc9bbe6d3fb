#include "dialogcheck.h"
#include "rs232settings.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

class tst_rs232Settings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formCarriesTheCaptions_data();
    void formCarriesTheCaptions();
    void rateStartsAt38400AmongThreeRates();
    void choosingAnotherRateEmitsItsText();
    void choosingTheCurrentItemEmitsNothing();
    void portsAppendedToAnEmptyListMakeTheFirstCurrent();
    void laterPortsAreAppendedAsTheyComeWithoutASignal();
    void noPortFoundLeavesTheCurrentPortEmpty();
    void choosingAnotherPortEmitsItsName();
    void everyWayOfClosingOnlyHidesAndKeepsTheChoice_data();
    void everyWayOfClosingOnlyHidesAndKeepsTheChoice();
    void destructorWritesTheTraceLine();
    void dialogIsLaidOutUnclippedOnScreen();
};

void tst_rs232Settings::initTestCase()
{
    DialogCheck::useConsoleLook();
}

void tst_rs232Settings::formCarriesTheCaptions_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("text");
    QTest::newRow("port label") << "label_14"
                                << "Порт";
    // The last letter of the unit is the Latin c.
    QTest::newRow("rate label") << "label_15"
                                << "Скорость (бит/c)";
    QTest::newRow("close button") << "pushButton"
                                  << "Закрыть\nменю";
}

void tst_rs232Settings::formCarriesTheCaptions()
{
    QFETCH(QString, objectName);
    QFETCH(QString, text);
    rs232Settings dialog;
    QWidget *widget = dialog.findChild<QWidget *>(objectName);
    QVERIFY(widget);
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(dialog.windowTitle(), QString("Параметры RS-232"));
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!dialog.pushButton->icon().isNull());
    QCOMPARE(dialog.pushButton->iconSize(), QSize(32, 32));
}

void tst_rs232Settings::rateStartsAt38400AmongThreeRates()
{
    rs232Settings dialog;
    QCOMPARE(dialog.comPortRatecomboBox->count(), 3);
    QCOMPARE(dialog.comPortRatecomboBox->itemText(0), QString("9600"));
    QCOMPARE(dialog.comPortRatecomboBox->itemText(1), QString("19200"));
    QCOMPARE(dialog.comPortRatecomboBox->itemText(2), QString("38400"));
    QCOMPARE(dialog.getCurrentCOMPortRate(), QString("38400"));
    QCOMPARE(dialog.comPortNameComboBox->count(), 0);
}

void tst_rs232Settings::choosingAnotherRateEmitsItsText()
{
    rs232Settings dialog;
    QSignalSpy rates(&dialog, &rs232Settings::rateChanged);
    QSignalSpy ports(&dialog, &rs232Settings::comPortChanged);
    for (int index : {0, 1, 2}) {
        dialog.comPortRatecomboBox->setCurrentIndex(index);
        QCOMPARE(dialog.getCurrentCOMPortRate(), dialog.comPortRatecomboBox->itemText(index));
    }
    QCOMPARE(rates.count(), 3);
    QCOMPARE(rates.at(0).at(0).toString(), QString("9600"));
    QCOMPARE(rates.at(1).at(0).toString(), QString("19200"));
    QCOMPARE(rates.at(2).at(0).toString(), QString("38400"));
    QCOMPARE(ports.count(), 0);
}

void tst_rs232Settings::choosingTheCurrentItemEmitsNothing()
{
    rs232Settings dialog;
    dialog.addComPorts({"COM1", "COM3"});
    QSignalSpy rates(&dialog, &rs232Settings::rateChanged);
    QSignalSpy ports(&dialog, &rs232Settings::comPortChanged);
    dialog.comPortRatecomboBox->setCurrentIndex(2);
    dialog.comPortNameComboBox->setCurrentIndex(0);
    QCOMPARE(rates.count(), 0);
    QCOMPARE(ports.count(), 0);
}

void tst_rs232Settings::portsAppendedToAnEmptyListMakeTheFirstCurrent()
{
    rs232Settings dialog;
    QSignalSpy ports(&dialog, &rs232Settings::comPortChanged);
    dialog.addComPorts({"COM2", "COM5", "COM17"});
    QCOMPARE(ports.count(), 1);
    QCOMPARE(ports.at(0).at(0).toString(), QString("COM2"));
    QCOMPARE(dialog.getCurrentCOMPort(), QString("COM2"));
}

void tst_rs232Settings::laterPortsAreAppendedAsTheyComeWithoutASignal()
{
    rs232Settings dialog;
    dialog.addComPorts({"COM2", "COM5"});
    QSignalSpy ports(&dialog, &rs232Settings::comPortChanged);
    dialog.addComPorts({"COM5", "COM1"});
    QCOMPARE(ports.count(), 0);
    QCOMPARE(dialog.comPortNameComboBox->count(), 4);
    const QStringList expected {"COM2", "COM5", "COM5", "COM1"};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(dialog.comPortNameComboBox->itemText(i), expected.at(i));
    QCOMPARE(dialog.getCurrentCOMPort(), QString("COM2"));
}

void tst_rs232Settings::noPortFoundLeavesTheCurrentPortEmpty()
{
    rs232Settings dialog;
    QSignalSpy ports(&dialog, &rs232Settings::comPortChanged);
    dialog.addComPorts({});
    QCOMPARE(ports.count(), 0);
    QCOMPARE(dialog.getCurrentCOMPort(), QString());
    QCOMPARE(dialog.getCurrentCOMPortRate(), QString("38400"));
}

void tst_rs232Settings::choosingAnotherPortEmitsItsName()
{
    rs232Settings dialog;
    dialog.addComPorts({"COM1", "COM3", "COM4"});
    QSignalSpy ports(&dialog, &rs232Settings::comPortChanged);
    QSignalSpy rates(&dialog, &rs232Settings::rateChanged);
    dialog.comPortNameComboBox->setCurrentIndex(2);
    QCOMPARE(ports.count(), 1);
    QCOMPARE(ports.at(0).at(0).toString(), QString("COM4"));
    QCOMPARE(dialog.getCurrentCOMPort(), QString("COM4"));
    QCOMPARE(rates.count(), 0);
}

void tst_rs232Settings::everyWayOfClosingOnlyHidesAndKeepsTheChoice_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("close button") << "button";
    QTest::newRow("window close control") << "close";
    QTest::newRow("Escape key") << "escape";
}

void tst_rs232Settings::everyWayOfClosingOnlyHidesAndKeepsTheChoice()
{
    QFETCH(QString, way);
    QPointer<rs232Settings> dialog = new rs232Settings;
    dialog->addComPorts({"COM1", "COM3"});
    dialog->comPortNameComboBox->setCurrentIndex(1);
    dialog->comPortRatecomboBox->setCurrentIndex(0);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));

    if (way == "button")
        QTest::mouseClick(dialog->pushButton, Qt::LeftButton);
    else if (way == "close")
        dialog->close();
    else
        QTest::keyClick(dialog, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(dialog);
    QVERIFY(dialog->isHidden());
    dialog->show();
    QCOMPARE(dialog->getCurrentCOMPort(), QString("COM3"));
    QCOMPARE(dialog->getCurrentCOMPortRate(), QString("9600"));
    delete dialog;
}

void tst_rs232Settings::destructorWritesTheTraceLine()
{
    auto *dialog = new rs232Settings;
    QTest::ignoreMessage(QtDebugMsg, "~rs232Settings()");
    delete dialog;
}

void tst_rs232Settings::dialogIsLaidOutUnclippedOnScreen()
{
    rs232Settings dialog;
    // The console centres the dialog by the size it has before it is shown.
    const QSize built = dialog.size();
    dialog.addComPorts({"COM1", "COM3", "/dev/ttyUSB0"});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.comPortNameComboBox->setCurrentIndex(2);
    QCOMPARE(dialog.size(), built);
    QCOMPARE(DialogCheck::layoutFault(&dialog), QString());
    const QString path = DialogCheck::saveScreenshot(&dialog, "rs232Settings");
    QVERIFY2(!path.isEmpty(), "screenshot not written");
    qInfo("screenshot: %s", qPrintable(path));
}

QTEST_MAIN(tst_rs232Settings)
#include "tst_rs232settings.moc"
