#include "devicesignallog.h"
#include "k310device.h"

#include <QMetaMethod>
#include <QTest>

namespace {

QStringList traceLines;

void collectTrace(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        traceLines.append(message);
}

// Collects the trace lines written while it lives.
class TraceCapture
{
public:
    TraceCapture()
        : previous(qInstallMessageHandler(collectTrace))
    {
        traceLines.clear();
    }
    ~TraceCapture() { qInstallMessageHandler(previous); }
    QStringList lines() const { return traceLines; }

private:
    QtMessageHandler previous;
};

} // namespace

class tst_Device : public QObject
{
    Q_OBJECT

private slots:
    void needsCheckOnlyWhileActive_data();
    void needsCheckOnlyWhileActive();
    void needsCheckAskedWhileOffShowsOnceSwitchedOn();
    void newDeviceHasAddressZeroAndIsOffAndUnchecked();
    void productNameIsKeptByTheDeviceAndSentNowhere();
    void destructorsWriteTheirTraceLinesDerivedFirst();
    void signalsAreDeclaredInTheConsolesOrder();
};

void tst_Device::needsCheckOnlyWhileActive_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("check");
    QTest::addColumn<bool>("needsCheck");

    QTest::newRow("off, not asked") << false << false << false;
    QTest::newRow("off, asked") << false << true << false;
    QTest::newRow("on, not asked") << true << false << false;
    QTest::newRow("on, asked") << true << true << true;
}

void tst_Device::needsCheckOnlyWhileActive()
{
    QFETCH(bool, active);
    QFETCH(bool, check);
    QFETCH(bool, needsCheck);
    Device device;
    device.setDeviceActive(active);
    device.setDeviceNeedToBeChecked(check);
    QCOMPARE(device.isDeviceActive(), active);
    QCOMPARE(device.isDeviceNeedToBeChecked(), needsCheck);
}

void tst_Device::needsCheckAskedWhileOffShowsOnceSwitchedOn()
{
    Device device;
    device.setDeviceNeedToBeChecked(true);
    QVERIFY(!device.isDeviceNeedToBeChecked());
    device.setDeviceActive(true);
    QVERIFY(device.isDeviceNeedToBeChecked());
    device.setDeviceActive(false);
    QVERIFY(!device.isDeviceNeedToBeChecked());
}

void tst_Device::newDeviceHasAddressZeroAndIsOffAndUnchecked()
{
    K310Device device(nullptr);
    QCOMPARE(device.getDeviceID(), 0);
    QVERIFY(!device.isDeviceActive());
    QVERIFY(!device.isDeviceNeedToBeChecked());
    QVERIFY(device.parent() == nullptr);
    device.setDeviceID(127);
    QCOMPARE(device.getDeviceID(), 127);
}

void tst_Device::productNameIsKeptByTheDeviceAndSentNowhere()
{
    K310Device device(nullptr);
    DeviceSignalLog log(device);
    QCOMPARE(device.getProductName(), QString());
    device.setProductName(QStringLiteral("Мука пшеничная \"высший сорт\""));
    QCOMPARE(device.getProductName(), QStringLiteral("Мука пшеничная \"высший сорт\""));
    device.setProductName(QString());
    QCOMPARE(device.getProductName(), QString());
    QVERIFY(log.entries.isEmpty());
}

void tst_Device::destructorsWriteTheirTraceLinesDerivedFirst()
{
    TraceCapture trace;
    delete new K310Device(nullptr);
    delete new Device;
    QCOMPARE(trace.lines(), (QStringList {"~K310Device()", "~Device()", "~Device()"}));
}

void tst_Device::signalsAreDeclaredInTheConsolesOrder()
{
    const QStringList expected = {
        "hasSysMes(QString)",
        "requestSignal(K310DataPacket)",
        "workStoppedMustDownloadSignal(int)",
        "workStoppedMustUploadSignal(int)",
        "hasConnectionErrorSignal(int)",
        "hasErrorSignal(int,QString)",
        "needToStopTheWork(int)",
        "readyIsWaitingCommandActionSignal(int)",
        "weightMeasurementBeforeDispensingActionSignal(int)",
        "weightMeasurementAfterDispensingActionSignal(int)",
        "doseIsDownloadingActionSignal(int)",
        "doseIsUploadingActionSignal(int)",
        "hasCurrentStateSignal(int,QString)",
        "hasSetDoseWeightSignal(int,QString)",
        "hasGetDoseUploadSignal(int,QString)",
        "hasGetSumWeightOfLastDownloadSignal(int,QString)",
        "hasGetDoseCountSignal(int,QString)",
        "hasGetTotalWeightSignal(int,QString)",
        "hasGetTotalCommonDoseCountSignal(int,QString)",
        "hasGetTotalCommonWeightSignal(int,QString)",
        "hasGetDoseFaultPlusSignal(int,QString)",
        "hasGetDoseFaultMinusSignal(int,QString)",
        "hasGetWeightNETTOSignal(int,QString)",
        "hasGetPOVersionSignal(int,QString)",
        "hasGetScaleSignal(int,QString)",
        // quint8, as the meta-object system spells it.
        "hasGetScaleSignal(int,uchar)",
        "hasGetNPDSignal(int,QString)",
        "hasGetWeightScaleSignal(int,QString)",
        "hasGetTotalWeightScaleSignal(int,QString)",
    };
    const QMetaObject &meta = K310Device::staticMetaObject;
    QStringList declared;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Signal)
            declared.append(QString::fromLatin1(method.methodSignature()));
    }
    // Signals of the doser's own beyond these come after them.
    QCOMPARE(declared.mid(0, expected.size()), expected);
    // The console finds the reply slot by the link's signature.
    QVERIFY(meta.indexOfSlot("replyPacketReceived(K310DataPacket,quint32,quint32)") >= 0);
}

QTEST_GUILESS_MAIN(tst_Device)
#include "tst_device.moc"
