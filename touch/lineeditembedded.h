#ifndef LINEEDITEMBEDDED_H
#define LINEEDITEMBEDDED_H

#include "embeddededitinterface.h"
#include "keyboard.h"

#include <QLineEdit>

// A line field of the touch panel: a touch opens the on-screen keyboard, and the accepted text
// is announced, never written into the field; the receiver decides whether to show it.
class LineEditEmbedded : public QLineEdit, public EmbeddedEditInterface
{
    Q_OBJECT
    Q_PROPERTY(Keyboard::Type KeyboardType READ keyboardType WRITE setKeyboardType)
    Q_PROPERTY(QString Description READ description WRITE setDescription)

public:
    explicit LineEditEmbedded(QWidget *parent = nullptr);
    explicit LineEditEmbedded(const QString &text, QWidget *parent = nullptr);
    ~LineEditEmbedded() override;

    Keyboard::Type keyboardType() const { return type; }
    // Selects the keyboard of that kind; a value naming no kind leaves the field without.
    void setKeyboardType(Keyboard::Type newType);
    QString description() const { return descriptionText; }
    void setDescription(const QString &description);
    // The keyboard a touch opens, shared by all fields of this class; null when there is none.
    // It is made at the first touch (or call), so a window of fields opens without its cost.
    Keyboard *keyboard() const;

    void acceptKeyboardText(const QString &text) override;

signals:
    void textHasEntered(QString text, QString accessibleName);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    Keyboard::Type type = Keyboard::NumericKeyboard;
    QString descriptionText;
};

#endif // LINEEDITEMBEDDED_H
