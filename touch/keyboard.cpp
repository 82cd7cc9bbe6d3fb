#include "keyboard.h"

#include "embeddededitinterface.h"
#include "keyboardbutton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include <iterator>
#include <utility>

// One row of character keys: eight characters per key in mode order, laid out from (x, y).
struct Keyboard::KeyRow
{
    const char16_t *characters;
    int x;
    int y;
    int width;
    int height;
    int pitch;
};

namespace {

constexpr int KeyFontPointSize = 16;
constexpr QSize CursorIconSize(32, 32);
// Room left beside a label, so that it never touches the key's edges.
constexpr int LabelPadding = 12;
constexpr int NarrowestLabelStretch = 60;
constexpr char InitialTitle[] = "Keyboard";

constexpr int FullKey = 52;
constexpr int FullPitch = 65;
constexpr int FullTopY = 13;

// For a letter Caps gives the Shift character and Caps+Shift the plain one; other keys ignore
// Caps. Order per key: En, EnShift, EnCaps, EnCapsShift, Ru, RuShift, RuCaps, RuCapsShift.
constexpr char16_t FullRow1[] = u"`~`~ёЁЁё"
                                u"1!1!1!1!"
                                u"2@2@2\"2\""
                                u"3#3#3№3№"
                                u"4$4$4;4;"
                                u"5%5%5%5%"
                                u"6^6^6:6:"
                                u"7&7&7?7?"
                                u"8*8*8*8*"
                                u"9(9(9(9("
                                u"0)0)0)0)"
                                u"-_-_-_-_"
                                u"=+=+=+=+"
                                u"\\|\\|\\/\\/";
constexpr char16_t FullRow2[] = u"qQQqйЙЙй"
                                u"wWWwцЦЦц"
                                u"eEEeуУУу"
                                u"rRRrкККк"
                                u"tTTtеЕЕе"
                                u"yYYyнННн"
                                u"uUUuгГГг"
                                u"iIIiшШШш"
                                u"oOOoщЩЩщ"
                                u"pPPpзЗЗз"
                                u"[{[{хХХх"
                                u"]}]}ъЪЪъ";
constexpr char16_t FullRow3[] = u"aAAaфФФф"
                                u"sSSsыЫЫы"
                                u"dDDdвВВв"
                                u"fFFfаААа"
                                u"gGGgпППп"
                                u"hHHhрРРр"
                                u"jJJjоООо"
                                u"kKKkлЛЛл"
                                u"lLLlдДДд"
                                u";:;:жЖЖж"
                                u"'\"'\"эЭЭэ";
constexpr char16_t FullRow4[] = u"zZZzяЯЯя"
                                u"xXXxчЧЧч"
                                u"cCCcсССс"
                                u"vVVvмММм"
                                u"bBBbиИИи"
                                u"nNNnтТТт"
                                u"mMMmьЬЬь"
                                u",<,<бББб"
                                u".>.>юЮЮю"
                                u"/?/?.,.,";
constexpr char16_t SpaceBar[] = u"        ";

constexpr int NumericKey = 60;
constexpr int NumericPitch = 75;
constexpr int NumericTopY = 15;

} // namespace

Keyboard *Keyboard::create(Type type)
{
    if (type != NumericKeyboard && type != FullsizeKeyboard)
        return nullptr;
    return new Keyboard(type);
}

Keyboard::Keyboard(Type type)
    : QDialog(nullptr)
    , type(type)
{
    setModal(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setWindowTitle(QString::fromLatin1(InitialTitle));
    QFont keyFont = QApplication::font();
    keyFont.setPointSize(KeyFontPointSize);
    setFont(keyFont);

    display = new QTextEdit(this);
    display->setObjectName(QStringLiteral("display"));
    display->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    display->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    display->setAcceptRichText(false);
    display->setContextMenuPolicy(Qt::NoContextMenu);

    enterButton = addButton(QStringLiteral("Enter"), "enterButton");
    escButton = addButton(QStringLiteral("Esc"), "escButton");
    backspaceButton = addButton(QStringLiteral("<-"), "backspaceButton");
    leftShiftButton = addButton(QStringLiteral("Shift"), "leftShiftButton");
    rightShiftButton = addButton(QStringLiteral("Shift"), "rightShiftButton");
    capsLockButton = addButton(QStringLiteral("Caps Lock"), "capsLockButton");
    languageButton = addButton(QStringLiteral("En-Ru"), "languageButton");
    upButton = addCursorButton(":/images/up.png", "upButton");
    downButton = addCursorButton(":/images/down.png", "downButton");
    leftButton = addCursorButton(":/images/left.png", "leftButton");
    rightButton = addCursorButton(":/images/right.png", "rightButton");
    leftShiftButton->setCheckable(true);
    rightShiftButton->setCheckable(true);
    capsLockButton->setCheckable(true);

    connect(enterButton, &QPushButton::clicked, this, &Keyboard::accept);
    connect(escButton, &QPushButton::clicked, this, &Keyboard::reject);
    connect(backspaceButton, &QPushButton::clicked, this, &Keyboard::backspacePressed);
    connect(leftShiftButton, &QPushButton::clicked, this, &Keyboard::shiftPressed);
    connect(rightShiftButton, &QPushButton::clicked, this, &Keyboard::shiftPressed);
    connect(capsLockButton, &QPushButton::clicked, this, &Keyboard::capsPressed);
    connect(languageButton, &QPushButton::clicked, this, &Keyboard::languagePressed);
    connect(upButton, &QPushButton::pressed, this, &Keyboard::upListButtonPressed);
    connect(upButton, &QPushButton::released, this, &Keyboard::upListButtonReleased);
    connect(downButton, &QPushButton::pressed, this, &Keyboard::downListButtonPressed);
    connect(downButton, &QPushButton::released, this, &Keyboard::downListButtonReleased);
    connect(leftButton, &QPushButton::pressed, this, &Keyboard::leftListButtonPressed);
    connect(leftButton, &QPushButton::released, this, &Keyboard::leftListButtonReleased);
    connect(rightButton, &QPushButton::pressed, this, &Keyboard::rightListButtonPressed);
    connect(rightButton, &QPushButton::released, this, &Keyboard::rightListButtonReleased);

    holdTimer.setSingleShot(true);
    holdTimer.setTimerType(Qt::PreciseTimer);
    connect(&holdTimer, &QTimer::timeout, this, &Keyboard::holdStep);

    if (type == FullsizeKeyboard)
        buildFullsize();
    else
        buildNumeric();
    fitToKeys();
    fitLabels();
    setKeyboardMode(Ru);
}

Keyboard::~Keyboard()
{
    qDebug("~Keyboard()");
}

QPushButton *Keyboard::addButton(const QString &text, const char *objectName)
{
    auto *button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    return button;
}

QPushButton *Keyboard::addCursorButton(const char *icon, const char *objectName)
{
    QPushButton *button = addButton(QString(), objectName);
    button->setIcon(QIcon(QString::fromLatin1(icon)));
    button->setIconSize(CursorIconSize);
    return button;
}

void Keyboard::addKeyRows(const KeyRow *rows, int rowCount)
{
    for (int row = 0; row < rowCount; ++row) {
        const QString characters = QString::fromUtf16(rows[row].characters);
        for (int index = 0; index * ModeCount < characters.size(); ++index) {
            auto *key = new KeyboardButton(characters.mid(index * ModeCount, ModeCount), this);
            key->setObjectName(QStringLiteral("key%1_%2").arg(row + 1).arg(index + 1));
            key->setGeometry(rows[row].x + index * rows[row].pitch, rows[row].y, rows[row].width,
                             rows[row].height);
            keys.append(key);
        }
    }
}

void Keyboard::buildFullsize()
{
    escButton->setGeometry(0, FullTopY, FullKey, FullKey);
    display->setGeometry(104, FullTopY, 598, FullKey);
    leftButton->setGeometry(715, FullTopY, FullKey, FullKey);
    rightButton->setGeometry(780, FullTopY, FullKey, FullKey);
    upButton->setGeometry(845, FullTopY, FullKey, FullKey);
    downButton->setGeometry(910, FullTopY, FullKey, FullKey);
    backspaceButton->setGeometry(910, 104, FullKey, FullKey);
    languageButton->setGeometry(0, 169, 91, FullKey);
    enterButton->setGeometry(884, 169, 78, 117);
    capsLockButton->setGeometry(0, 234, 104, FullKey);
    leftShiftButton->setGeometry(0, 299, 143, FullKey);
    rightShiftButton->setGeometry(806, 299, 156, FullKey);

    const KeyRow rows[] = {
        {FullRow1, 0, 104, FullKey, FullKey, FullPitch},
        {FullRow2, 104, 169, FullKey, FullKey, FullPitch},
        {FullRow3, 117, 234, FullKey, FullKey, FullPitch},
        {FullRow4, 156, 299, FullKey, FullKey, FullPitch},
        {SpaceBar, 273, 364, 351, FullKey, FullPitch},
    };
    addKeyRows(rows, int(std::size(rows)));
}

void Keyboard::buildNumeric()
{
    escButton->setGeometry(0, NumericTopY, NumericKey, NumericKey);
    display->setGeometry(75, NumericTopY, 210, NumericKey);
    backspaceButton->setGeometry(225, 90, NumericKey, NumericKey);
    enterButton->setGeometry(225, 240, NumericKey, 135);
    for (QPushButton *unused : {capsLockButton, leftShiftButton, rightShiftButton, languageButton,
                                upButton, downButton, leftButton, rightButton})
        unused->hide();

    const KeyRow rows[] = {
        {u"777777778888888899999999", 0, 90, NumericKey, NumericKey, NumericPitch},
        {u"444444445555555566666666", 0, 165, NumericKey, NumericKey, NumericPitch},
        {u"111111112222222233333333", 0, 240, NumericKey, NumericKey, NumericPitch},
        {u"00000000", 0, 315, 135, NumericKey, NumericPitch},
        {u"........", 150, 315, NumericKey, NumericKey, NumericPitch},
    };
    addKeyRows(rows, int(std::size(rows)));
}

void Keyboard::fitToKeys()
{
    QRect bounds;
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden())
            bounds |= child->geometry();
    }
    setFixedSize(bounds.right() + 1, bounds.bottom() + 1);
}

// A label wider than its key ("Caps Lock", the pad's "Enter") is drawn narrower rather than
// smaller or clipped: the keys keep the 16-point height.
void Keyboard::fitLabels()
{
    for (QPushButton *button : {enterButton, escButton, backspaceButton, leftShiftButton,
                                rightShiftButton, capsLockButton, languageButton}) {
        const int room = button->width() - LabelPadding;
        QFont narrow = button->font();
        int stretch = QFont::Unstretched;
        while (stretch > NarrowestLabelStretch
               && QFontMetrics(narrow).horizontalAdvance(button->text()) > room) {
            narrow.setStretch(--stretch);
        }
        if (stretch != QFont::Unstretched)
            button->setFont(narrow);
    }
}

void Keyboard::openForEditor(EmbeddedEditInterface *editor, const QString &title,
                             const QString &text, Echo echo)
{
    clearTargets();
    targetEditor = editor;
    targetEditorObject = dynamic_cast<QObject *>(editor);
    targetEditorTracked = targetEditorObject != nullptr;
    openWith(title, text, echo);
}

void Keyboard::openForWidget(QWidget *widget, const QString &title, Echo echo)
{
    clearTargets();
    targetWidget = widget;
    openWith(title, QString(), hidesText(widget) ? Echo::Concealed : echo);
}

bool Keyboard::hidesText(const QWidget *field)
{
    const auto *lineEdit = qobject_cast<const QLineEdit *>(field);
    return lineEdit && lineEdit->echoMode() != QLineEdit::Normal;
}

void Keyboard::openWith(const QString &title, const QString &text, Echo echo)
{
    setWindowTitle(title);
    concealed = echo == Echo::Concealed;
    secret = concealed ? text : QString();
    display->setPlainText(concealed ? QString(text.size(), ConcealedCharacter) : text);
    // Concealed, the display takes no keys, pasting or dropping of its own: every character
    // goes through insertCharacter(), which keeps the text apart from its dots.
    display->setReadOnly(concealed);
    if (concealed)
        display->setTextInteractionFlags(Qt::TextSelectableByKeyboard);
    display->moveCursor(QTextCursor::End);
    // Retargeting an open keyboard brings it to the front again.
    if (isVisible())
        raise();
    else
        show();
    activateWindow();
    display->setFocus();
}

QString Keyboard::enteredText() const
{
    return concealed ? secret : display->toPlainText();
}

void Keyboard::replaceSelection(const QString &text)
{
    QTextCursor cursor = display->textCursor();
    if (concealed) {
        const int from = cursor.selectionStart();
        secret.replace(from, cursor.selectionEnd() - from, text);
        cursor.insertText(QString(text.size(), ConcealedCharacter));
    } else {
        cursor.insertText(text);
    }
    display->setTextCursor(cursor);
}

void Keyboard::clearTargets()
{
    targetWidget = nullptr;
    targetEditor = nullptr;
    targetEditorObject = nullptr;
    targetEditorTracked = false;
}

void Keyboard::done(int result)
{
    hide();
    // Nothing of a secret stays behind in the hidden keyboard.
    if (concealed)
        display->clear();
    secret.clear();
    scrollHeld = false;
    firstStepPending = false;
    holdTimer.stop();
    clearTargets();
    QDialog::done(result);
}

void Keyboard::accept()
{
    hide();
    const QString text = enteredText();
    if (auto *button = qobject_cast<QAbstractButton *>(targetWidget))
        button->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(targetWidget))
        label->setText(text);
    else if (auto *lineEdit = qobject_cast<QLineEdit *>(targetWidget))
        lineEdit->setText(text);
    if (targetEditor && (targetEditorObject || !targetEditorTracked))
        targetEditor->acceptKeyboardText(text);
    emit textEntered(text);
    done(Accepted);
}

void Keyboard::reject()
{
    hide();
    emit textEntered(QString());
    done(Rejected);
}

void Keyboard::shiftPressed()
{
    setKeyboardMode(mode ^ ShiftBit);
}

void Keyboard::capsPressed()
{
    setKeyboardMode(mode ^ CapsBit);
}

void Keyboard::languagePressed()
{
    setKeyboardMode(mode ^ RussianBit);
}

void Keyboard::backspacePressed()
{
    QTextCursor cursor = display->textCursor();
    if (cursor.hasSelection()) {
        if (concealed)
            replaceSelection(QString());
        else
            display->cut();
        return;
    }
    if (concealed && cursor.position() > 0)
        secret.remove(cursor.position() - 1, 1);
    cursor.deletePreviousChar();
    display->setTextCursor(cursor);
}

void Keyboard::upListButtonPressed()
{
    startCursorHold(QTextCursor::Up);
}

void Keyboard::upListButtonReleased()
{
    stopCursorHold(QTextCursor::Up);
}

void Keyboard::downListButtonPressed()
{
    startCursorHold(QTextCursor::Down);
}

void Keyboard::downListButtonReleased()
{
    stopCursorHold(QTextCursor::Down);
}

void Keyboard::leftListButtonPressed()
{
    startCursorHold(QTextCursor::Left);
}

void Keyboard::leftListButtonReleased()
{
    stopCursorHold(QTextCursor::Left);
}

void Keyboard::rightListButtonPressed()
{
    startCursorHold(QTextCursor::Right);
}

void Keyboard::rightListButtonReleased()
{
    stopCursorHold(QTextCursor::Right);
}

void Keyboard::insertCharacter(QChar character)
{
    if (character == u'.' && enteredText().contains(u'.'))
        return;
    replaceSelection(QString(character));
    display->ensureCursorVisible();
    if (mode & ShiftBit)
        shiftPressed();
}

void Keyboard::setKeyboardMode(int newMode)
{
    mode = newMode;
    for (KeyboardButton *key : std::as_const(keys))
        key->showCharacter(mode);
    leftShiftButton->setChecked(mode & ShiftBit);
    rightShiftButton->setChecked(mode & ShiftBit);
    capsLockButton->setChecked(mode & CapsBit);
}

void Keyboard::startCursorHold(QTextCursor::MoveOperation move)
{
    heldMove = move;
    firstStepPending = true;
    scrollHeld = true;
    holdTimer.start(RepeatDelay);
}

// Each wait starts after the move, so a late step never makes the next one come early.
void Keyboard::holdStep()
{
    if (!scrollHeld)
        return;
    firstStepPending = false;
    moveDisplayCursor(heldMove);
    holdTimer.start(RepeatInterval);
}

void Keyboard::stopCursorHold(QTextCursor::MoveOperation move)
{
    scrollHeld = false;
    holdTimer.stop();
    if (firstStepPending) {
        firstStepPending = false;
        moveDisplayCursor(move);
    }
}

void Keyboard::moveDisplayCursor(QTextCursor::MoveOperation move)
{
    display->moveCursor(move);
}

#include "moc_keyboard.cpp"
