#ifndef EMBEDDEDEDITINTERFACE_H
#define EMBEDDEDEDITINTERFACE_H

class QString;

// What an input field offers the on-screen keyboard: the one way an accepted text comes back.
class EmbeddedEditInterface
{
public:
    virtual ~EmbeddedEditInterface();
    virtual void acceptKeyboardText(const QString &text) = 0;
};

#endif // EMBEDDEDEDITINTERFACE_H
