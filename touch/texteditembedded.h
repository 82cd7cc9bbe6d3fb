#ifndef TEXTEDITEMBEDDED_H
#define TEXTEDITEMBEDDED_H

#include "embeddededitinterface.h"

#include <QPointer>
#include <QTextEdit>

class Keyboard;
class QMessageBox;

// The recipe description field of the touch panel: a touch opens the full keyboard, and an
// accepted text replaces a real description only after the operator confirms it.
class TextEditEmbedded : public QTextEdit, public EmbeddedEditInterface
{
    Q_OBJECT
    Q_PROPERTY(QString Description READ description WRITE setDescription)

public:
    explicit TextEditEmbedded(QWidget *parent = nullptr);
    explicit TextEditEmbedded(const QString &text, QWidget *parent = nullptr);
    ~TextEditEmbedded() override;

    QString description() const { return descriptionText; }
    void setDescription(const QString &description);
    // The full keyboard shared by all editors of this class.
    Keyboard *keyboard() const { return editorKeyboard; }

    void acceptKeyboardText(const QString &text) override;

signals:
    void textEntered(QString text);
    void descriptionChanged(QString text);

public slots:
    void applyText(QString text);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    // Runs the replace question; the answer is the button clicked in it. Tests answer it here.
    virtual void askQuestion(QMessageBox &question);

private:
    bool showsPlaceholder() const;
    void replaceText(const QString &text);

    QString descriptionText;
    QPointer<Keyboard> editorKeyboard;
};

#endif // TEXTEDITEMBEDDED_H
