#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QByteArray>
#include <string>

// A pseudo-terminal pair standing in for a serial cable: the code under test opens
// slavePath() like a COM port, the test plays the far end on the master side.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return master >= 0; }
    int masterFd() const { return master; }
    // The line as the code under test sees it, for checking its settings; never read from it.
    int slaveFd() const { return slave; }
    const std::string &slavePath() const { return path; }

    // Writes everything to the far end of the line; returns false on error.
    bool write(const QByteArray &bytes);
    // Reads until n bytes arrived or timeoutMs passed without completing them.
    QByteArray read(int n, int timeoutMs);
    // Discards whatever the code under test has written so far.
    void drain();
    // Bytes sent from the far end that the code under test has not read yet.
    int bytesWaiting() const;
    // Pulls the cable: the far end goes away for good.
    void hangUp();

private:
    int master = -1;
    // Held open so the line stays up while the code under test closes and reopens it.
    int slave = -1;
    std::string path;
};

#endif // PTYPAIR_H
