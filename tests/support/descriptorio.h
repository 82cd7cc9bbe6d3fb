#ifndef DESCRIPTORIO_H
#define DESCRIPTORIO_H

#include <QByteArray>

// Byte transfers on a raw file descriptor for the test ends of serial lines; blocking and
// non-blocking descriptors alike.

// Writes everything, waiting up to timeoutMs for room when the line is full; false on error.
bool writeAll(int fd, const QByteArray &bytes, int timeoutMs = 1000);
// Reads until n bytes arrived or timeoutMs passed without completing them.
QByteArray readFor(int fd, int n, int timeoutMs);

#endif // DESCRIPTORIO_H
