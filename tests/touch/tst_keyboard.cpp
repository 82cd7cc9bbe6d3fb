#include "embeddededitinterface.h"
#include "keyboard.h"
#include "keyboardbutton.h"
#include "keyboarddriver.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

// An editor as the keyboard sees it, keeping what it was handed.
class RecordingEditor : public QObject, public EmbeddedEditInterface
{
public:
    void acceptKeyboardText(const QString &text) override { received << text; }
    QStringList received;
};

template<typename T = QPushButton>
T *part(Keyboard *keyboard, const char *name)
{
    return keyboard->findChild<T *>(QString::fromLatin1(name));
}

QTextEdit *display(Keyboard *keyboard)
{
    return part<QTextEdit>(keyboard, "display");
}

void sendMouse(QWidget *widget, QEvent::Type type, QPoint pos, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class tst_Keyboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void windowIsAFixedModalDialogWithLargeKeys_data();
    void windowIsAFixedModalDialogWithLargeKeys();
    void buttonsSitOnTheTouchGrid_data();
    void buttonsSitOnTheTouchGrid();
    void rowsSpellTheLayoutOfEachLanguage_data();
    void rowsSpellTheLayoutOfEachLanguage();
    void everyKeyFollowsTheCapsRule();
    void modeChoosesShownCharactersAndLights_data();
    void modeChoosesShownCharactersAndLights();

    void pressedKeysGiveText_data();
    void pressedKeysGiveText();
    void keyTypesOncePerPressHoweverTheFingerSlides_data();
    void keyTypesOncePerPressHoweverTheFingerSlides();
    void backspaceRemovesSelectionOrOneCharacter_data();
    void backspaceRemovesSelectionOrOneCharacter();

    void tappedCursorButtonMovesOneStep_data();
    void tappedCursorButtonMovesOneStep();
    void shortHoldMovesOnceOnRelease();
    void heldCursorButtonRepeatsAfterTheDelay();
    void closingStopsAHeldCursorButton();

    void openingPresetsTitleAndDisplay();
    void enterWritesTextIntoPlainTargets_data();
    void enterWritesTextIntoPlainTargets();
    void enterHandsTextToTheEditorOnce();
    void escEmitsEmptyTextAndTargetGetsNothing();
    void concealedEntryEditsTheTextBehindTheDots_data();
    void concealedEntryEditsTheTextBehindTheDots();
    void editorDeletedWhileOpenGetsNothing();
    void modeSurvivesClosing();

private:
    Keyboard *keyboardOf(Keyboard::Type type) const
    {
        return type == Keyboard::FullsizeKeyboard ? full.get() : numeric.get();
    }
    Keyboard *openEmpty(Keyboard::Type type, int mode = Keyboard::Ru);

    std::unique_ptr<Keyboard> full;
    std::unique_ptr<Keyboard> numeric;
};

void tst_Keyboard::initTestCase()
{
    full.reset(Keyboard::create(Keyboard::FullsizeKeyboard));
    numeric.reset(Keyboard::create(Keyboard::NumericKeyboard));
    QVERIFY(full && numeric);
    QVERIFY(!Keyboard::create(Keyboard::Type(2)));
}

void tst_Keyboard::cleanupTestCase()
{
    QTest::ignoreMessage(QtDebugMsg, "~Keyboard()");
    QTest::ignoreMessage(QtDebugMsg, "~Keyboard()");
    full.reset();
    numeric.reset();
}

void tst_Keyboard::cleanup()
{
    for (Keyboard *keyboard : {full.get(), numeric.get()}) {
        if (keyboard->isVisible())
            keyboard->reject();
        keyboard->setKeyboardMode(Keyboard::Ru);
    }
}

Keyboard *tst_Keyboard::openEmpty(Keyboard::Type type, int mode)
{
    Keyboard *keyboard = keyboardOf(type);
    keyboard->setKeyboardMode(mode);
    keyboard->openForWidget(nullptr, QStringLiteral("Ввод"));
    return keyboard;
}

void tst_Keyboard::windowIsAFixedModalDialogWithLargeKeys_data()
{
    QTest::addColumn<Keyboard::Type>("type");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("keyCount");
    QTest::addColumn<bool>("modeButtonsShown");
    QTest::newRow("full") << Keyboard::FullsizeKeyboard << QSize(962, 416) << 48 << true;
    QTest::newRow("numeric") << Keyboard::NumericKeyboard << QSize(285, 375) << 11 << false;
}

void tst_Keyboard::windowIsAFixedModalDialogWithLargeKeys()
{
    QFETCH(Keyboard::Type, type);
    QFETCH(QSize, size);
    QFETCH(int, keyCount);
    QFETCH(bool, modeButtonsShown);
    Keyboard *keyboard = keyboardOf(type);

    QCOMPARE(keyboard->keyboardType(), type);
    QCOMPARE(keyboard->keyboardMode(), int(Keyboard::Ru));
    QCOMPARE(keyboard->windowTitle(), QStringLiteral("Keyboard"));
    QVERIFY(keyboard->isModal());
    QVERIFY(!keyboard->parent());
    QVERIFY(!keyboard->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(keyboard->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(keyboard->minimumSize(), size);
    QCOMPARE(keyboard->maximumSize(), size);
    QCOMPARE(keyboard->findChildren<KeyboardButton *>().size(), keyCount);

    for (QAbstractButton *button : keyboard->findChildren<QAbstractButton *>()) {
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QCOMPARE(button->font().pointSize(), 16);
    }
    QCOMPARE(display(keyboard)->font().pointSize(), 16);
    QCOMPARE(display(keyboard)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(display(keyboard)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (const char *name :
         {"capsLockButton", "leftShiftButton", "rightShiftButton", "languageButton", "upButton",
          "downButton", "leftButton", "rightButton"})
        QCOMPARE(part(keyboard, name)->isHidden(), !modeButtonsShown);
    if (modeButtonsShown) {
        QVERIFY(part(keyboard, "capsLockButton")->isCheckable());
        QVERIFY(!part(keyboard, "leftButton")->icon().isNull());
    }
}

void tst_Keyboard::buttonsSitOnTheTouchGrid_data()
{
    QTest::addColumn<Keyboard::Type>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    const auto row = [](Keyboard::Type type, const char *name, QRect geometry) {
        QTest::addRow("%s %s", type == Keyboard::FullsizeKeyboard ? "full" : "numeric", name)
            << type << QString::fromLatin1(name) << geometry;
    };
    const Keyboard::Type f = Keyboard::FullsizeKeyboard;
    row(f, "escButton", {0, 13, 52, 52});
    row(f, "display", {104, 13, 598, 52});
    row(f, "leftButton", {715, 13, 52, 52});
    row(f, "rightButton", {780, 13, 52, 52});
    row(f, "upButton", {845, 13, 52, 52});
    row(f, "downButton", {910, 13, 52, 52});
    row(f, "key1_1", {0, 104, 52, 52});
    row(f, "key1_14", {845, 104, 52, 52});
    row(f, "backspaceButton", {910, 104, 52, 52});
    row(f, "languageButton", {0, 169, 91, 52});
    row(f, "key2_1", {104, 169, 52, 52});
    row(f, "key2_12", {819, 169, 52, 52});
    row(f, "enterButton", {884, 169, 78, 117});
    row(f, "capsLockButton", {0, 234, 104, 52});
    row(f, "key3_1", {117, 234, 52, 52});
    row(f, "key3_11", {767, 234, 52, 52});
    row(f, "leftShiftButton", {0, 299, 143, 52});
    row(f, "key4_1", {156, 299, 52, 52});
    row(f, "key4_10", {741, 299, 52, 52});
    row(f, "rightShiftButton", {806, 299, 156, 52});
    row(f, "key5_1", {273, 364, 351, 52});
    const Keyboard::Type n = Keyboard::NumericKeyboard;
    row(n, "escButton", {0, 15, 60, 60});
    row(n, "display", {75, 15, 210, 60});
    row(n, "key1_1", {0, 90, 60, 60});
    row(n, "key1_3", {150, 90, 60, 60});
    row(n, "backspaceButton", {225, 90, 60, 60});
    row(n, "key2_2", {75, 165, 60, 60});
    row(n, "key3_3", {150, 240, 60, 60});
    row(n, "enterButton", {225, 240, 60, 135});
    row(n, "key4_1", {0, 315, 135, 60});
    row(n, "key5_1", {150, 315, 60, 60});
}

void tst_Keyboard::buttonsSitOnTheTouchGrid()
{
    QFETCH(Keyboard::Type, type);
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    auto *widget = keyboardOf(type)->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void tst_Keyboard::rowsSpellTheLayoutOfEachLanguage_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("characters");
    const auto rows = [](int row, const QString &en, const QString &enShift, const QString &ru,
                         const QString &ruShift) {
        QTest::addRow("row %d En", row) << row << 0 << en;
        QTest::addRow("row %d EnShift", row) << row << 1 << enShift;
        QTest::addRow("row %d Ru", row) << row << 4 << ru;
        QTest::addRow("row %d RuShift", row) << row << 5 << ruShift;
    };
    rows(1, "`1234567890-=\\", "~!@#$%^&*()_+|", "ё1234567890-=\\", "Ё!\"№;%:?*()_+/");
    rows(2, "qwertyuiop[]", "QWERTYUIOP{}", "йцукенгшщзхъ", "ЙЦУКЕНГШЩЗХЪ");
    rows(3, "asdfghjkl;'", "ASDFGHJKL:\"", "фывапролджэ", "ФЫВАПРОЛДЖЭ");
    rows(4, "zxcvbnm,./", "ZXCVBNM<>?", "ячсмитьбю.", "ЯЧСМИТЬБЮ,");
    for (int mode = 0; mode < Keyboard::ModeCount; ++mode)
        QTest::addRow("space bar, mode %d", mode) << 5 << mode << " ";
}

void tst_Keyboard::rowsSpellTheLayoutOfEachLanguage()
{
    QFETCH(int, row);
    QFETCH(int, mode);
    QString characters;
    for (int index = 1;; ++index) {
        auto *key =
            full->findChild<KeyboardButton *>(QStringLiteral("key%1_%2").arg(row).arg(index));
        if (!key)
            break;
        characters += key->character(mode);
    }
    QTEST(characters, "characters");
}

void tst_Keyboard::everyKeyFollowsTheCapsRule()
{
    const QList<KeyboardButton *> keys = full->findChildren<KeyboardButton *>();
    for (KeyboardButton *key : keys) {
        for (int language : {int(Keyboard::En), int(Keyboard::Ru)}) {
            const QChar plain = key->character(language);
            const QChar shifted = key->character(language | Keyboard::ShiftBit);
            const bool letter = plain.isLetter();
            QVERIFY2(!plain.isNull() && !shifted.isNull(), qPrintable(key->objectName()));
            QCOMPARE(key->character(language | Keyboard::CapsBit), letter ? shifted : plain);
            QCOMPARE(key->character(language | Keyboard::CapsBit | Keyboard::ShiftBit),
                     letter ? plain : shifted);
        }
    }
    for (KeyboardButton *key : numeric->findChildren<KeyboardButton *>()) {
        for (int mode = 1; mode < Keyboard::ModeCount; ++mode)
            QCOMPARE(key->character(mode), key->character(Keyboard::En));
    }
}

void tst_Keyboard::modeChoosesShownCharactersAndLights_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("row1Key3");
    QTest::addColumn<QString>("row1Key8");
    QTest::addColumn<QString>("row2Key1");
    QTest::addColumn<QString>("row4Key10");
    QTest::addColumn<bool>("shiftLit");
    QTest::addColumn<bool>("capsLit");
    // A lone ampersand is shown doubled, which the button draws as one ampersand.
    QTest::newRow("En") << 0 << "2"
                        << "7"
                        << "q"
                        << "/" << false << false;
    QTest::newRow("EnShift") << 1 << "@"
                             << "&&"
                             << "Q"
                             << "?" << true << false;
    QTest::newRow("EnCaps") << 2 << "2"
                            << "7"
                            << "Q"
                            << "/" << false << true;
    QTest::newRow("EnCapsShift") << 3 << "@"
                                 << "&&"
                                 << "q"
                                 << "?" << true << true;
    QTest::newRow("Ru") << 4 << "2"
                        << "7"
                        << "й"
                        << "." << false << false;
    QTest::newRow("RuShift") << 5 << "\""
                             << "?"
                             << "Й"
                             << "," << true << false;
    QTest::newRow("RuCaps") << 6 << "2"
                            << "7"
                            << "Й"
                            << "." << false << true;
    QTest::newRow("RuCapsShift") << 7 << "\""
                                 << "?"
                                 << "й"
                                 << "," << true << true;
}

void tst_Keyboard::modeChoosesShownCharactersAndLights()
{
    QFETCH(int, mode);
    full->setKeyboardMode(mode);
    QCOMPARE(full->keyboardMode(), mode);
    QTEST(part(full.get(), "key1_3")->text(), "row1Key3");
    QTEST(part(full.get(), "key1_8")->text(), "row1Key8");
    QTEST(part(full.get(), "key2_1")->text(), "row2Key1");
    QTEST(part(full.get(), "key4_10")->text(), "row4Key10");
    QTEST(part(full.get(), "leftShiftButton")->isChecked(), "shiftLit");
    QTEST(part(full.get(), "rightShiftButton")->isChecked(), "shiftLit");
    QTEST(part(full.get(), "capsLockButton")->isChecked(), "capsLit");
}

void tst_Keyboard::pressedKeysGiveText_data()
{
    QTest::addColumn<Keyboard::Type>("type");
    QTest::addColumn<int>("startMode");
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("endMode");
    const Keyboard::Type f = Keyboard::FullsizeKeyboard;
    // Keys are pressed by the label they show at that moment.
    QTest::newRow("Shift acts for one character")
        << f << 4 << QStringList {"Shift", "Й", "ц"} << "Йц" << 4;
    QTest::newRow("Shift under Caps Lock gives a small letter")
        << f << 4 << QStringList {"Caps Lock", "Shift", "й"} << "й" << 6;
    QTest::newRow("Caps Lock leaves digits alone") << f << 2 << QStringList {"1"} << "1" << 2;
    QTest::newRow("Shift under Caps Lock gives the digit's sign")
        << f << 2 << QStringList {"Shift", "!"} << "!" << 2;
    QTest::newRow("Caps Lock stays after a letter")
        << f << 2 << QStringList {"Q", "W"} << "QW" << 2;
    QTest::newRow("Shift pressed twice is released")
        << f << 4 << QStringList {"Shift", "Shift", "й"} << "й" << 4;
    QTest::newRow("language switch mid-entry")
        << f << 4 << QStringList {"д", "En-Ru", "o", "k"} << "дok" << 0;
    QTest::newRow("space bar") << f << 4 << QStringList {"д", " ", "а"} << "д а" << 4;
    QTest::newRow("ampersand") << f << 1 << QStringList {"&"} << "&" << 0;
    QTest::newRow("one point per entry on the full keyboard")
        << f << 0 << QStringList {"a", ".", "b", "."} << "a.b" << 0;
    QTest::newRow("one point per entry on the pad")
        << Keyboard::NumericKeyboard << 4 << QStringList {"1", ".", "2", "."} << "1.2" << 4;
    QTest::newRow("pad digits") << Keyboard::NumericKeyboard << 4
                                << QStringList {"0", "9", "8", "7", "6", "5", "4", "3", "2", "1"}
                                << "0987654321" << 4;
}

void tst_Keyboard::pressedKeysGiveText()
{
    QFETCH(Keyboard::Type, type);
    QFETCH(int, startMode);
    QFETCH(QStringList, presses);
    Keyboard *keyboard = openEmpty(type, startMode);

    for (const QString &label : std::as_const(presses))
        QVERIFY2(KeyboardDriver::press(label), qPrintable(label));
    QTEST(display(keyboard)->toPlainText(), "text");
    QTEST(keyboard->keyboardMode(), "endMode");
    QCOMPARE(part(keyboard, "leftShiftButton")->isChecked(),
             bool(keyboard->keyboardMode() & Keyboard::ShiftBit));
}

void tst_Keyboard::keyTypesOncePerPressHoweverTheFingerSlides_data()
{
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::addColumn<QPoint>("release");
    const QPoint on(26, 26);
    const QPoint nearby(30, 20);
    const QPoint off(200, 26);
    QTest::newRow("tap") << QList<QPoint> {} << on;
    QTest::newRow("finger moving on the key") << QList<QPoint> {nearby, on, nearby} << on;
    QTest::newRow("slid off and released outside") << QList<QPoint> {nearby, off} << off;
    QTest::newRow("slid off and back on") << QList<QPoint> {off, off, on, nearby} << on;
}

void tst_Keyboard::keyTypesOncePerPressHoweverTheFingerSlides()
{
    QFETCH(QList<QPoint>, moves);
    QFETCH(QPoint, release);
    Keyboard *keyboard = openEmpty(Keyboard::FullsizeKeyboard, Keyboard::Ru);
    auto *key = part<KeyboardButton>(keyboard, "key2_1");

    for (int press = 1; press <= 2; ++press) {
        sendMouse(key, QEvent::MouseButtonPress, QPoint(26, 26), Qt::LeftButton);
        for (const QPoint &pos : std::as_const(moves))
            sendMouse(key, QEvent::MouseMove, pos, Qt::LeftButton);
        sendMouse(key, QEvent::MouseButtonRelease, release, Qt::NoButton);
        QCOMPARE(display(keyboard)->toPlainText(), QString(press, u'й'));
    }
}

void tst_Keyboard::backspaceRemovesSelectionOrOneCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("result");
    QTest::newRow("selection") << "abcdef" << 1 << 4 << "aef";
    QTest::newRow("selection made backwards") << "abcdef" << 5 << 2 << "abf";
    QTest::newRow("cursor at the end") << "abc" << 3 << 3 << "ab";
    QTest::newRow("cursor inside") << "abc" << 1 << 1 << "bc";
    QTest::newRow("cursor at the start") << "abc" << 0 << 0 << "abc";
}

void tst_Keyboard::backspaceRemovesSelectionOrOneCharacter()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, position);
    Keyboard *keyboard = openEmpty(Keyboard::FullsizeKeyboard);
    display(keyboard)->setPlainText(text);
    QTextCursor cursor = display(keyboard)->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    display(keyboard)->setTextCursor(cursor);

    QVERIFY(KeyboardDriver::press(QStringLiteral("<-")));
    QTEST(display(keyboard)->toPlainText(), "result");
}

void tst_Keyboard::tappedCursorButtonMovesOneStep_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    // Text "abc\ndef": position 5 is after "d" on the second line.
    QTest::newRow("left") << "leftButton" << 5 << 4;
    QTest::newRow("right") << "rightButton" << 5 << 6;
    QTest::newRow("up") << "upButton" << 5 << 1;
    QTest::newRow("down") << "downButton" << 1 << 5;
}

void tst_Keyboard::tappedCursorButtonMovesOneStep()
{
    QFETCH(QString, button);
    QFETCH(int, from);
    Keyboard *keyboard = openEmpty(Keyboard::FullsizeKeyboard);
    QTextEdit *edit = display(keyboard);
    edit->setPlainText(QStringLiteral("abc\ndef"));
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(from);
    edit->setTextCursor(cursor);

    QAbstractButton *target = KeyboardDriver::button(button);
    QVERIFY(target);
    QTest::mousePress(target, Qt::LeftButton);
    QCOMPARE(edit->textCursor().position(), from);
    QTest::mouseRelease(target, Qt::LeftButton);
    QTEST(edit->textCursor().position(), "to");
}

void tst_Keyboard::shortHoldMovesOnceOnRelease()
{
    Keyboard *keyboard = openEmpty(Keyboard::FullsizeKeyboard);
    QTextEdit *edit = display(keyboard);
    edit->setPlainText(QStringLiteral("abcdefgh"));
    edit->moveCursor(QTextCursor::End);
    QAbstractButton *left = KeyboardDriver::button(QStringLiteral("leftButton"));

    QElapsedTimer held;
    held.start();
    QTest::mousePress(left, Qt::LeftButton);
    QTest::qWait(100);
    const int positionWhileHeld = edit->textCursor().position();
    const qint64 heldFor = held.elapsed();
    QTest::mouseRelease(left, Qt::LeftButton);
    if (heldFor >= Keyboard::RepeatDelay)
        QSKIP("the machine stalled past the repeat delay");
    QCOMPARE(positionWhileHeld, 8);
    QCOMPARE(edit->textCursor().position(), 7);
    QTest::qWait(Keyboard::RepeatDelay + Keyboard::RepeatInterval);
    QCOMPARE(edit->textCursor().position(), 7);
}

void tst_Keyboard::heldCursorButtonRepeatsAfterTheDelay()
{
    Keyboard *keyboard = openEmpty(Keyboard::FullsizeKeyboard);
    QTextEdit *edit = display(keyboard);
    edit->setPlainText(QString(60, u'x'));
    edit->moveCursor(QTextCursor::End);
    QAbstractButton *left = KeyboardDriver::button(QStringLiteral("leftButton"));
    QElapsedTimer clock;
    QList<qint64> moves;
    QObject recorder;
    connect(edit, &QTextEdit::cursorPositionChanged, &recorder,
            [&] { moves.append(clock.elapsed()); });

    clock.start();
    QTest::mousePress(left, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(moves.size() >= 4, 10000);
    QTest::mouseRelease(left, Qt::LeftButton);
    const int movesWhileHeld = int(moves.size());

    QVERIFY2(moves.first() >= Keyboard::RepeatDelay, qPrintable(QString::number(moves.first())));
    for (int i = 1; i < movesWhileHeld; ++i)
        QVERIFY2(moves.at(i) - moves.at(i - 1) >= Keyboard::RepeatInterval,
                 qPrintable(QString::number(moves.at(i) - moves.at(i - 1))));
    QCOMPARE(edit->textCursor().position(), 60 - movesWhileHeld);
    QTest::qWait(Keyboard::RepeatDelay + Keyboard::RepeatInterval);
    QCOMPARE(moves.size(), movesWhileHeld);
}

void tst_Keyboard::closingStopsAHeldCursorButton()
{
    Keyboard *keyboard = openEmpty(Keyboard::FullsizeKeyboard);
    QTextEdit *edit = display(keyboard);
    edit->setPlainText(QStringLiteral("abcdefgh"));
    edit->moveCursor(QTextCursor::End);

    QTest::mousePress(KeyboardDriver::button(QStringLiteral("leftButton")), Qt::LeftButton);
    keyboard->reject();
    QTest::qWait(Keyboard::RepeatDelay + 2 * Keyboard::RepeatInterval);
    QCOMPARE(edit->textCursor().position(), 8);
}

void tst_Keyboard::openingPresetsTitleAndDisplay()
{
    RecordingEditor editor;
    full->openForEditor(&editor, QStringLiteral("Название рецепта"), QStringLiteral("Мука"));
    QCOMPARE(KeyboardDriver::openKeyboard(), full.get());
    QCOMPARE(full->windowTitle(), QStringLiteral("Название рецепта"));
    QCOMPARE(display(full.get())->toPlainText(), QStringLiteral("Мука"));
    QCOMPARE(display(full.get())->textCursor().position(), 4);

    QLabel label(QStringLiteral("old"));
    full->openForWidget(&label, QStringLiteral("Title"));
    QCOMPARE(full->windowTitle(), QStringLiteral("Title"));
    QVERIFY(display(full.get())->toPlainText().isEmpty());
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QVERIFY(!full->isVisible());
    QVERIFY2(editor.received.isEmpty(), "retargeting drops the editor");
}

void tst_Keyboard::enterWritesTextIntoPlainTargets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("label") << "QLabel";
    QTest::newRow("button") << "QPushButton";
    QTest::newRow("line edit") << "QLineEdit";
}

void tst_Keyboard::enterWritesTextIntoPlainTargets()
{
    QFETCH(QString, kind);
    std::unique_ptr<QWidget> target;
    if (kind == u"QLabel")
        target = std::make_unique<QLabel>(QStringLiteral("old"));
    else if (kind == u"QPushButton")
        target = std::make_unique<QPushButton>(QStringLiteral("old"));
    else
        target = std::make_unique<QLineEdit>(QStringLiteral("old"));
    QSignalSpy entered(numeric.get(), &Keyboard::textEntered);
    QSignalSpy accepted(numeric.get(), &QDialog::accepted);

    numeric->openForWidget(target.get(), QStringLiteral("Title"));
    QVERIFY(KeyboardDriver::type(QStringLiteral("42")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));

    QCOMPARE(target->property("text").toString(), QStringLiteral("42"));
    QCOMPARE(entered.size(), 1);
    QCOMPARE(entered.at(0).at(0).toString(), QStringLiteral("42"));
    QCOMPARE(accepted.size(), 1);
    QCOMPARE(numeric->result(), int(QDialog::Accepted));
    QVERIFY(!numeric->isVisible());
}

void tst_Keyboard::enterHandsTextToTheEditorOnce()
{
    RecordingEditor editor;
    numeric->openForEditor(&editor, QStringLiteral("Вес дозы"), QString());
    QVERIFY(KeyboardDriver::type(QStringLiteral("7.5")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(editor.received, QStringList {QStringLiteral("7.5")});

    QLineEdit other;
    numeric->openForWidget(&other, QStringLiteral("Title"));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(editor.received.size(), 1);
}

void tst_Keyboard::concealedEntryEditsTheTextBehindTheDots_data()
{
    // Steps: "=text" types it, anything else is a key pressed.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("entered");
    QTest::newRow("typed") << QStringList {"=ab3d"} << "ab3d";
    QTest::newRow("backspace inside") << QStringList {"=abcd", "leftButton", "<-"} << "abd";
    QTest::newRow("typed inside") << QStringList {"=abd", "leftButton", "=c"} << "abcd";
    QTest::newRow("backspace at the start")
        << QStringList {"=ab", "leftButton", "leftButton", "<-", "=x"} << "xab";
}

void tst_Keyboard::concealedEntryEditsTheTextBehindTheDots()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, entered);
    QLineEdit field;
    field.setEchoMode(QLineEdit::Password);
    full->setKeyboardMode(Keyboard::En);
    full->openForWidget(&field, QStringLiteral("Пароль"));
    QVERIFY(full->isConcealing());
    for (const QString &step : std::as_const(steps)) {
        if (step.startsWith(u'='))
            QVERIFY(KeyboardDriver::type(step.mid(1)));
        else
            QVERIFY(KeyboardDriver::press(step));
        for (const QChar c : entered)
            QVERIFY2(!display(full.get())->toPlainText().contains(c), qPrintable(step));
    }
    QCOMPARE(display(full.get())->toPlainText().size(), entered.size());
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(field.text(), entered);
    // What the hidden keyboard keeps holds nothing of it.
    QVERIFY(display(full.get())->toPlainText().isEmpty());
}

void tst_Keyboard::escEmitsEmptyTextAndTargetGetsNothing()
{
    RecordingEditor editor;
    QLineEdit field(QStringLiteral("12.5"));
    QSignalSpy entered(full.get(), &Keyboard::textEntered);
    QSignalSpy rejected(full.get(), &QDialog::rejected);

    full->openForEditor(&editor, QStringLiteral("Ввод"), QStringLiteral("abc"));
    QVERIFY(KeyboardDriver::type(QStringLiteral("д")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Esc")));
    full->openForWidget(&field, QStringLiteral("Title"));
    QVERIFY(KeyboardDriver::type(QStringLiteral("д")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Esc")));

    QCOMPARE(entered.size(), 2);
    QCOMPARE(entered.at(0).at(0).toString(), QString());
    QCOMPARE(entered.at(1).at(0).toString(), QString());
    QCOMPARE(rejected.size(), 2);
    QVERIFY(editor.received.isEmpty());
    QCOMPARE(field.text(), QStringLiteral("12.5"));
    QVERIFY(!full->isVisible());
}

void tst_Keyboard::editorDeletedWhileOpenGetsNothing()
{
    auto editor = std::make_unique<RecordingEditor>();
    QSignalSpy entered(numeric.get(), &Keyboard::textEntered);
    numeric->openForEditor(editor.get(), QStringLiteral("Ввод"), QString());
    QVERIFY(KeyboardDriver::type(QStringLiteral("3")));
    editor.reset();

    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(entered.size(), 1);
    QCOMPARE(entered.at(0).at(0).toString(), QStringLiteral("3"));
}

void tst_Keyboard::modeSurvivesClosing()
{
    openEmpty(Keyboard::FullsizeKeyboard, Keyboard::Ru);
    QVERIFY(KeyboardDriver::press(QStringLiteral("Caps Lock")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("En-Ru")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Esc")));

    full->openForWidget(nullptr, QStringLiteral("Ввод"));
    QCOMPARE(full->keyboardMode(), int(Keyboard::EnCaps));
    QVERIFY(part(full.get(), "capsLockButton")->isChecked());
    QVERIFY(KeyboardDriver::type(QStringLiteral("Q")));
    QCOMPARE(display(full.get())->toPlainText(), QStringLiteral("Q"));
}

QTEST_MAIN(tst_Keyboard)
#include "tst_keyboard.moc"
