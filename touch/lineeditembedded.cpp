#include "lineeditembedded.h"

#include "keyboardset.h"

#include <QMouseEvent>

namespace {

KeyboardSet &lineEditKeyboards()
{
    static KeyboardSet keyboards;
    return keyboards;
}

} // namespace

LineEditEmbedded::LineEditEmbedded(QWidget *parent)
    : LineEditEmbedded(QString(), parent)
{ }

LineEditEmbedded::LineEditEmbedded(const QString &text, QWidget *parent)
    : QLineEdit(text, parent)
    , descriptionText(QStringLiteral("Ввод"))
{
    // Nothing is ever typed or pasted into the field itself.
    setContextMenuPolicy(Qt::NoContextMenu);
    setKeyboardType(Keyboard::NumericKeyboard);
}

LineEditEmbedded::~LineEditEmbedded()
{
    qDebug("~LineEditEmbedded()");
}

void LineEditEmbedded::setKeyboardType(Keyboard::Type newType)
{
    type = newType;
}

Keyboard *LineEditEmbedded::keyboard() const
{
    return lineEditKeyboards().keyboard(type);
}

void LineEditEmbedded::setDescription(const QString &description)
{
    descriptionText = description;
}

void LineEditEmbedded::acceptKeyboardText(const QString &text)
{
    emit textEdited(text);
    emit textHasEntered(text, accessibleName());
}

// The field never holds the focus or places a cursor: a touch only opens the keyboard.
void LineEditEmbedded::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (QWidget *parent = parentWidget())
        parent->setFocus();
    else
        clearFocus();
    Keyboard *fieldKeyboard = keyboard();
    if (!fieldKeyboard)
        return;
    // A field that hides its text (a password) starts the entry afresh, concealed.
    if (Keyboard::hidesText(this)) {
        fieldKeyboard->openForEditor(this, descriptionText, QString(), Keyboard::Echo::Concealed);
        return;
    }
    const QString initialText = type == Keyboard::FullsizeKeyboard ? text() : QString();
    fieldKeyboard->openForEditor(this, descriptionText, initialText);
}

void LineEditEmbedded::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
}

void LineEditEmbedded::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

#include "moc_lineeditembedded.cpp"
