#ifndef PORTRESULT_H
#define PORTRESULT_H

#include <cstdint>

// Results of port operations as the link reports and keeps them (signed 8-bit on purpose: the
// link stores and hands them on as such).
enum PortResult : std::int8_t {
    PortSuccess = 1,
    PortOpened = -2,
    PortClosed = -3,
    PortInvalidBaudRate = -4,
    PortWriteFailed = -5,
    PortReadFailed = -6,
    PortReplyTimeout = -7,
    PortWriteTimeout = -8,
    PortWriteDelayError = -9,
    PortReadDelayError = -10,
    PortNotOpened = -11,
    PortNotClosed = -12,
    // Why an open failed, where the system tells: kept apart from the codes above.
    PortInUse = -20,
    PortNotPresent = -21,
};

// The fixed English text of a result code; codes outside the table share one text.
const char *portResultText(int code);

#endif // PORTRESULT_H
