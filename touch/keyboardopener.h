#ifndef KEYBOARDOPENER_H
#define KEYBOARDOPENER_H

#include "keyboard.h"

#include <QObject>

class QLineEdit;

// Gives an ordinary line edit of a dialog the console does not build itself (the file dialog's
// name field) the on-screen keyboard: a touch opens it empty, Enter writes the text into the
// field. Its keyboards are its own, one of each kind.
class KeyboardOpener : public QObject
{
    Q_OBJECT

public:
    // Serves the field for its lifetime (the opener is the field's child).
    static void attach(QLineEdit *field, Keyboard::Type type, const QString &title);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyboardOpener(QLineEdit *field, Keyboard::Type type, const QString &title);

    QLineEdit *field;
    Keyboard::Type type;
    QString title;
};

#endif // KEYBOARDOPENER_H
