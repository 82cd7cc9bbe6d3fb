#ifndef LINKRECORDER_H
#define LINKRECORDER_H

#include "k310link.h"

#include <QList>
#include <QObject>
#include <QStringList>

// Collects what a link reports, delivered on the test thread as a device on the console
// thread gets it (queued from the worker).
class LinkRecorder : public QObject
{
public:
    struct Reply
    {
        K310DataPacket packet;
        quint32 number = 0;
        quint32 expected = 0;
    };

    explicit LinkRecorder(K310Link &link);

    // The messages with their time stamp and line feed taken off; a message without them
    // shows up as "malformed: " and the text, so that a comparison fails.
    QStringList texts() const;
    void clear();

    QList<Reply> replies;
    QStringList messages;
    QList<bool> masterFlags;
};

#endif // LINKRECORDER_H
