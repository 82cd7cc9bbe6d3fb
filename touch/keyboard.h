#ifndef KEYBOARD_H
#define KEYBOARD_H

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QTextCursor>
#include <QTimer>

class EmbeddedEditInterface;
class KeyboardButton;
class QPushButton;
class QTextEdit;

// The on-screen keyboard of the touch panel. It collects the text in its own display and hands
// it to the field that opened it only on Enter; Esc abandons the entry. Opened for a secret (a
// password field, a PIN) its display shows a dot for each character and takes no typing of
// its own, so the text is seen by nobody.
class Keyboard : public QDialog
{
    Q_OBJECT

public:
    enum Type { NumericKeyboard = 0, FullsizeKeyboard = 1 };
    Q_ENUM(Type)
    enum class Echo { Shown, Concealed };
    // What the display shows for each character of a secret.
    static constexpr QChar ConcealedCharacter = u'\u25cf';

    // A bit set: bit 0 Shift, bit 1 Caps Lock, bit 2 Russian; also the index of a key's character.
    enum Mode {
        En = 0,
        EnShift = 1,
        EnCaps = 2,
        EnCapsShift = 3,
        Ru = 4,
        RuShift = 5,
        RuCaps = 6,
        RuCapsShift = 7
    };
    Q_ENUM(Mode)

    static constexpr int ShiftBit = 1;
    static constexpr int CapsBit = 2;
    static constexpr int RussianBit = 4;
    static constexpr int ModeCount = 8;
    static constexpr quint16 RepeatDelay = 300;
    static constexpr quint16 RepeatInterval = 100;

    // Builds a keyboard of the given kind in mode Ru; null for a value that names no kind.
    static Keyboard *create(Type type);
    ~Keyboard() override;

    Type keyboardType() const { return type; }
    int keyboardMode() const { return mode; }

    // Opens the keyboard for an editor with its text preset; Enter hands the text back to it.
    void openForEditor(EmbeddedEditInterface *editor, const QString &title, const QString &text,
                       Echo echo = Echo::Shown);
    // Opens the keyboard empty for a button, label or line edit; Enter writes the text into it.
    // A line edit that hides its text (a password field) gets it concealed.
    void openForWidget(QWidget *widget, const QString &title, Echo echo = Echo::Shown);
    bool isConcealing() const { return concealed; }
    // Whether a field hides its text, so the keyboard must too.
    static bool hidesText(const QWidget *field);

signals:
    void textEntered(QString text);

public slots:
    void done(int result) override;
    void accept() override;
    void reject() override;
    virtual void shiftPressed();
    virtual void capsPressed();
    virtual void languagePressed();
    virtual void backspacePressed();
    virtual void upListButtonPressed();
    virtual void upListButtonReleased();
    virtual void downListButtonPressed();
    virtual void downListButtonReleased();
    virtual void leftListButtonPressed();
    virtual void leftListButtonReleased();
    virtual void rightListButtonPressed();
    virtual void rightListButtonReleased();

public:
    virtual void insertCharacter(QChar character);
    virtual void setKeyboardMode(int newMode);

protected:
    explicit Keyboard(Type type);

private:
    struct KeyRow;

    QPushButton *addButton(const QString &text, const char *objectName);
    QPushButton *addCursorButton(const char *icon, const char *objectName);
    void addKeyRows(const KeyRow *rows, int rowCount);
    void buildFullsize();
    void buildNumeric();
    void fitToKeys();
    void fitLabels();
    void openWith(const QString &title, const QString &text, Echo echo);
    // The text entered so far, whatever the display shows.
    QString enteredText() const;
    // Replaces the display's selection (or nothing, at the cursor) with the text.
    void replaceSelection(const QString &text);
    void clearTargets();

    void startCursorHold(QTextCursor::MoveOperation move);
    void stopCursorHold(QTextCursor::MoveOperation move);
    void holdStep();
    void moveDisplayCursor(QTextCursor::MoveOperation move);

    const Type type;
    int mode = Ru;
    QTextEdit *display = nullptr;
    QPushButton *enterButton = nullptr;
    QPushButton *escButton = nullptr;
    QPushButton *backspaceButton = nullptr;
    QPushButton *leftShiftButton = nullptr;
    QPushButton *rightShiftButton = nullptr;
    QPushButton *capsLockButton = nullptr;
    QPushButton *languageButton = nullptr;
    QPushButton *upButton = nullptr;
    QPushButton *downButton = nullptr;
    QPushButton *leftButton = nullptr;
    QPushButton *rightButton = nullptr;
    QList<KeyboardButton *> keys;
    bool concealed = false;
    // The concealed entry; the display holds as many dots.
    QString secret;

    QPointer<QWidget> targetWidget;
    EmbeddedEditInterface *targetEditor = nullptr;
    // Follows the editor's lifetime, so a field deleted while its entry is open gets nothing.
    QPointer<QObject> targetEditorObject;
    bool targetEditorTracked = false;

    bool scrollHeld = false;
    bool firstStepPending = false;
    QTextCursor::MoveOperation heldMove = QTextCursor::NoMove;
    // Paces a held cursor button: the repeat delay first, then the repeat interval.
    QTimer holdTimer;
};

#endif // KEYBOARD_H
