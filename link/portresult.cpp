#include "portresult.h"

const char *portResultText(int code)
{
    switch (code) {
    case PortSuccess:
        return "COM port operation successful";
    case PortOpened:
        return "COM port opened";
    case PortClosed:
        return "COM port closed";
    case PortInvalidBaudRate:
        return "COM port invalid baudrate";
    case PortWriteFailed:
        return "COM port write operation failed";
    case PortReadFailed:
        return "COM port read operation failed";
    case PortReplyTimeout:
        return "COM port reply timeout hit";
    case PortWriteTimeout:
        return "COM port write timeout hit";
    case PortWriteDelayError:
        return "COM port write delay error";
    case PortReadDelayError:
        return "COM port read delay error";
    case PortNotOpened:
        return "COM port not opened";
    case PortNotClosed:
        return "COM port not closed";
    case PortInUse:
        return "COM port in use by another program";
    case PortNotPresent:
        return "COM port not present";
    default:
        return "COM port undefined error";
    }
}
