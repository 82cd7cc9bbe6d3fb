#ifndef SERIALLINEMEMORY_H
#define SERIALLINEMEMORY_H

#include <QString>
#include <memory>

class QSettings;

// The serial port and bit rate the operator chose last, kept in the settings store beside the
// doser number, so the console reopens the same line at the next start.
class SerialLineMemory
{
public:
    SerialLineMemory();
    ~SerialLineMemory();

    // Empty when nothing was chosen yet.
    QString port() const;
    QString rate() const;
    void rememberPort(const QString &port);
    void rememberRate(const QString &rate);

private:
    std::unique_ptr<QSettings> settings;
};

#endif // SERIALLINEMEMORY_H
