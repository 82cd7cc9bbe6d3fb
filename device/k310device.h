#ifndef K310DEVICE_H
#define K310DEVICE_H

#include "device.h"
#include "doserstate.h"
#include "k310datapacket.h"
#include "k310link.h"

#include <QPointer>
#include <QString>

class LineQueue;

// One K310 doser on the link: each request slot sends one request frame, and every reply the
// link delivers for this doser's address becomes a state text, status signals and at most
// one value signal, each carrying the device id first.
class K310Device : public Device
{
    Q_OBJECT

public:
    // The link is not owned and may be null, which leaves the device inert.
    explicit K310Device(K310Link *onLink);
    ~K310Device() override;

    // Sends the requests through the queue instead of straight to the link; replies still come
    // from the link. Null sends straight to the link again.
    void sendThrough(LineQueue *queue);

    // The doser's error code behind a text of hasErrorSignal; -1 for any other text.
    static int errorCodeOf(const QString &text);

public slots:
    // The product the console assigns to this doser; it is the console's record and never
    // goes to the doser.
    QString getProductName() const { return productName; }
    void setProductName(const QString &name) { productName = name; }

    void requestWeightNETTO();
    void requestPOVersion();
    void resetErrorFlag();
    void setDoseWeight(const QString &weight, quint8 decimals);
    void requestDoseFaultPlus();
    void setDoseFaultPlus(const QString &value, quint8 decimals);
    void requestDoseFaultMinus();
    void setDoseFaultMinus(const QString &value, quint8 decimals);
    void downloadDose(const QString &weight, quint8 decimals);
    void downloadDose();
    void continueDownload();
    void uploadDose();
    void doFullCycle();
    void requestSumWeightOfLastDownload();
    void requestDoseCount();
    void requestTotalWeight();
    void requestTotalCommonDoseCount();
    void requestTotalCommonWeight();
    void stopWork();
    void startTestMode();
    void stopTestMode();
    void requestNPD();
    void requestScale();
    void requestWeightScale();
    void requestTotalWeightScale();

    // Every reply on the link reaches every device; only those from this address count.
    void replyPacketReceived(const K310DataPacket &reply, quint32 replyNumber,
                             quint32 expectedReplies);

signals:
    void hasSysMes(const QString &message);
    void requestSignal(K310DataPacket packet);
    void workStoppedMustDownloadSignal(int deviceID);
    void workStoppedMustUploadSignal(int deviceID);
    void hasConnectionErrorSignal(int deviceID);
    void hasErrorSignal(int deviceID, const QString &text);
    void needToStopTheWork(int deviceID);
    void readyIsWaitingCommandActionSignal(int deviceID);
    void weightMeasurementBeforeDispensingActionSignal(int deviceID);
    void weightMeasurementAfterDispensingActionSignal(int deviceID);
    void doseIsDownloadingActionSignal(int deviceID);
    void doseIsUploadingActionSignal(int deviceID);
    void hasCurrentStateSignal(int deviceID, const QString &state);
    void hasSetDoseWeightSignal(int deviceID, const QString &weight);
    void hasGetDoseUploadSignal(int deviceID, const QString &weight);
    void hasGetSumWeightOfLastDownloadSignal(int deviceID, const QString &weight);
    void hasGetDoseCountSignal(int deviceID, const QString &count);
    void hasGetTotalWeightSignal(int deviceID, const QString &counter);
    void hasGetTotalCommonDoseCountSignal(int deviceID, const QString &counter);
    void hasGetTotalCommonWeightSignal(int deviceID, const QString &counter);
    void hasGetDoseFaultPlusSignal(int deviceID, const QString &value);
    void hasGetDoseFaultMinusSignal(int deviceID, const QString &value);
    void hasGetWeightNETTOSignal(int deviceID, const QString &weight);
    void hasGetPOVersionSignal(int deviceID, const QString &version);
    void hasGetScaleSignal(int deviceID, const QString &step);
    void hasGetScaleSignal(int deviceID, quint8 decimals);
    void hasGetNPDSignal(int deviceID, const QString &limit);
    void hasGetWeightScaleSignal(int deviceID, const QString &unit);
    void hasGetTotalWeightScaleSignal(int deviceID, const QString &unit);
    // The state of hasCurrentStateSignal as a value, sent just before the text.
    void hasStateSignal(int deviceID, DoserState state);

private:
    // Clears the request and addresses it; the value field stays 0.
    void prepare(quint8 command, quint8 subCommand = 0);
    // A number from the operator's text into the value field; one that does not fit stays 0.
    void prepareValue(quint8 command, quint8 subCommand, const QString &text, quint8 decimals);
    void send();

    void emitStatus(const K310DataPacket &reply);
    void emitValue(const K310DataPacket &reply);
    void emitCounter(const K310DataPacket &reply);
    void emitParameter(const K310DataPacket &reply);

    K310DataPacket packet;
    QPointer<K310Link> link;
    QPointer<LineQueue> lineQueue;
    QString productName;
};

#endif // K310DEVICE_H
