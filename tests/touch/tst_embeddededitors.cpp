#include "keyboard.h"
#include "keyboarddriver.h"
#include "keyboardswitchwidget.h"
#include "lineeditembedded.h"
#include "receiptdescription.h"
#include "texteditembedded.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString Placeholder = ReceiptDescriptionPlaceholder.toString();

// A description editor whose replace question is answered by the test, by button text; an
// empty answer closes the question without choosing.
class AnsweredTextEdit : public TextEditEmbedded
{
public:
    using TextEditEmbedded::TextEditEmbedded;

    QString answer;
    int questions = 0;
    QMessageBox *lastQuestion = nullptr;
    QStringList buttonTexts;
    QList<QMessageBox::ButtonRole> buttonRoles;
    QString defaultButton;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *questionParent = nullptr;
    QFont questionFont;

protected:
    void askQuestion(QMessageBox &question) override
    {
        ++questions;
        lastQuestion = &question;
        buttonTexts.clear();
        buttonRoles.clear();
        for (QAbstractButton *button : question.buttons()) {
            buttonTexts << button->text();
            buttonRoles << question.buttonRole(button);
        }
        defaultButton = question.defaultButton() ? question.defaultButton()->text() : QString();
        title = question.windowTitle();
        text = question.text();
        format = question.textFormat();
        icon = question.icon();
        questionParent = question.parentWidget();
        questionFont = question.font();
        for (QAbstractButton *button : question.buttons()) {
            if (button->text() == answer)
                button->click();
        }
    }
};

void touch(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

} // namespace

class tst_EmbeddedEditors : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void numericFieldOpensEmptyPadAndKeepsItsText();
    void fullFieldOpensWithItsTextAndAnnouncesEntry();
    void escOnTheKeyboardAnnouncesNothing();
    void readOnlyEditorsOpenDisabledOnesDoNot_data();
    void readOnlyEditorsOpenDisabledOnesDoNot();
    void touchLeavesTheFocusWithTheParent();
    void keyboardsAreSharedPerClassAndKind();
    void fieldWithoutKeyboardIgnoresTouch();

    void descriptionTouchPresetsRealTextOnly_data();
    void descriptionTouchPresetsRealTextOnly();
    void applyTextReplacesDescriptionByTheRules_data();
    void applyTextReplacesDescriptionByTheRules();
    void replaceQuestionSpeaksTheEditorsTerms();
    void replaceQuestionRunsModally_data();
    void replaceQuestionRunsModally();
    void descriptionTypedOnTheKeyboardReachesTheEditor();

    void switchWidgetOpensKeyboardForItsFocusedWidget_data();
    void switchWidgetOpensKeyboardForItsFocusedWidget();
    void destructorsLeaveTraceLinesAndKeepSharedKeyboards();

private:
    std::unique_ptr<QWidget> window;
};

void tst_EmbeddedEditors::init()
{
    window = std::make_unique<QWidget>();
    window->resize(400, 300);
    window->setFocusPolicy(Qt::StrongFocus);
}

void tst_EmbeddedEditors::cleanup()
{
    if (QDialog *keyboard = KeyboardDriver::openKeyboard())
        keyboard->reject();
    window.reset();
}

void tst_EmbeddedEditors::numericFieldOpensEmptyPadAndKeepsItsText()
{
    auto *field = new LineEditEmbedded(QStringLiteral("12.5"), window.get());
    field->setDescription(QStringLiteral("Вес дозы"));
    field->setAccessibleName(QStringLiteral("11"));
    window->show();
    QSignalSpy edited(field, &QLineEdit::textEdited);
    QSignalSpy entered(field, &LineEditEmbedded::textHasEntered);

    touch(field);
    QDialog *keyboard = KeyboardDriver::openKeyboard();
    QVERIFY(keyboard);
    QCOMPARE(keyboard, field->keyboard());
    QCOMPARE(field->keyboard()->keyboardType(), Keyboard::NumericKeyboard);
    QCOMPARE(keyboard->windowTitle(), QStringLiteral("Вес дозы"));
    QCOMPARE(KeyboardDriver::displayText(), QString());

    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(edited.size(), 1);
    QCOMPARE(edited.at(0).at(0).toString(), QString());
    QCOMPARE(entered.size(), 1);
    QCOMPARE(entered.at(0), (QVariantList {QString(), QStringLiteral("11")}));
    QCOMPARE(field->text(), QStringLiteral("12.5"));
}

void tst_EmbeddedEditors::fullFieldOpensWithItsTextAndAnnouncesEntry()
{
    auto *field = new LineEditEmbedded(QStringLiteral("Мука"), window.get());
    field->setProperty("KeyboardType", QVariant::fromValue(Keyboard::FullsizeKeyboard));
    field->setProperty("Description", QStringLiteral("Название рецепта"));
    field->setAccessibleName(QStringLiteral("12"));
    window->show();
    QStringList order;
    connect(field, &QLineEdit::textEdited, this,
            [&](const QString &text) { order << QStringLiteral("edited ") + text; });
    connect(field, &LineEditEmbedded::textHasEntered, this,
            [&](const QString &text, const QString &name) {
                order << QStringLiteral("entered %1 %2").arg(text, name);
            });

    touch(field);
    QDialog *keyboard = KeyboardDriver::openKeyboard();
    QVERIFY(keyboard);
    QCOMPARE(field->keyboard()->keyboardType(), Keyboard::FullsizeKeyboard);
    QCOMPARE(keyboard->windowTitle(), QStringLiteral("Название рецепта"));
    QCOMPARE(KeyboardDriver::displayText(), QStringLiteral("Мука"));
    field->keyboard()->setKeyboardMode(Keyboard::Ru);
    QVERIFY(KeyboardDriver::press(QStringLiteral("<-")));
    QVERIFY(KeyboardDriver::type(QStringLiteral("и")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));

    QCOMPARE(order,
             (QStringList {QStringLiteral("edited Муки"), QStringLiteral("entered Муки 12")}));
    QCOMPARE(field->text(), QStringLiteral("Мука"));
}

void tst_EmbeddedEditors::escOnTheKeyboardAnnouncesNothing()
{
    auto *field = new LineEditEmbedded(QStringLiteral("5"), window.get());
    auto *description = new TextEditEmbedded(QStringLiteral("Мука"), window.get());
    description->move(0, 100);
    window->show();
    QSignalSpy edited(field, &QLineEdit::textEdited);
    QSignalSpy entered(field, &LineEditEmbedded::textHasEntered);
    QSignalSpy descriptionEntered(description, &TextEditEmbedded::textEntered);
    QSignalSpy changed(description, &TextEditEmbedded::descriptionChanged);

    touch(field);
    QVERIFY(KeyboardDriver::type(QStringLiteral("7")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Esc")));
    touch(description->viewport());
    QVERIFY(KeyboardDriver::press(QStringLiteral("<-")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Esc")));

    QVERIFY(!KeyboardDriver::openKeyboard());
    QVERIFY(edited.isEmpty() && entered.isEmpty());
    QVERIFY(descriptionEntered.isEmpty() && changed.isEmpty());
    QCOMPARE(field->text(), QStringLiteral("5"));
    QCOMPARE(description->toPlainText(), QStringLiteral("Мука"));
}

void tst_EmbeddedEditors::readOnlyEditorsOpenDisabledOnesDoNot_data()
{
    QTest::addColumn<bool>("lineEdit");
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<bool>("opens");
    QTest::newRow("read-only line edit") << true << false << true;
    QTest::newRow("disabled line edit") << true << true << false;
    QTest::newRow("read-only text edit") << false << false << true;
    QTest::newRow("disabled text edit") << false << true << false;
}

void tst_EmbeddedEditors::readOnlyEditorsOpenDisabledOnesDoNot()
{
    QFETCH(bool, lineEdit);
    QFETCH(bool, disabled);
    QWidget *touched = nullptr;
    if (lineEdit) {
        auto *field = new LineEditEmbedded(QStringLiteral("1"), window.get());
        field->setReadOnly(true);
        field->setEnabled(!disabled);
        touched = field;
    } else {
        auto *field = new TextEditEmbedded(QStringLiteral("Мука"), window.get());
        field->setReadOnly(true);
        field->setTextInteractionFlags(Qt::NoTextInteraction);
        field->setEnabled(!disabled);
        touched = field->viewport();
    }
    window->show();

    touch(touched);
    QTEST(KeyboardDriver::openKeyboard() != nullptr, "opens");
}

void tst_EmbeddedEditors::touchLeavesTheFocusWithTheParent()
{
    auto *field = new LineEditEmbedded(QStringLiteral("1"), window.get());
    auto *description = new TextEditEmbedded(window.get());
    description->move(0, 100);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    for (QWidget *touched : {static_cast<QWidget *>(field), description->viewport()}) {
        touched->setFocus();
        touch(touched);
        QVERIFY(KeyboardDriver::openKeyboard());
        QCOMPARE(window->focusWidget(), window.get());
        QVERIFY(!field->hasFocus() && !description->hasFocus());
        KeyboardDriver::openKeyboard()->reject();
    }
}

void tst_EmbeddedEditors::keyboardsAreSharedPerClassAndKind()
{
    LineEditEmbedded first;
    LineEditEmbedded second(QStringLiteral("x"));
    QCOMPARE(first.keyboardType(), Keyboard::NumericKeyboard);
    QCOMPARE(first.description(), QStringLiteral("Ввод"));
    QVERIFY(first.keyboard());
    QCOMPARE(first.keyboard(), second.keyboard());

    second.setKeyboardType(Keyboard::FullsizeKeyboard);
    QVERIFY(second.keyboard());
    QCOMPARE(second.keyboard()->keyboardType(), Keyboard::FullsizeKeyboard);
    QVERIFY(second.keyboard() != first.keyboard());
    first.setKeyboardType(Keyboard::FullsizeKeyboard);
    QCOMPARE(first.keyboard(), second.keyboard());

    TextEditEmbedded description;
    TextEditEmbedded otherDescription;
    QCOMPARE(description.description(), QStringLiteral("Ввод"));
    QVERIFY(description.keyboard());
    QCOMPARE(description.keyboard()->keyboardType(), Keyboard::FullsizeKeyboard);
    QCOMPARE(description.keyboard(), otherDescription.keyboard());
    QVERIFY(description.keyboard() != first.keyboard());

    KeyboardSwitchWidget switcher;
    QCOMPARE(switcher.type(), Keyboard::NumericKeyboard);
    Keyboard *switchNumeric = switcher.keyboard();
    QVERIFY(switchNumeric);
    switcher.setProperty("type", QVariant::fromValue(Keyboard::FullsizeKeyboard));
    QCOMPARE(switcher.keyboard()->keyboardType(), Keyboard::FullsizeKeyboard);
    QVERIFY(switcher.keyboard() != first.keyboard());
    QVERIFY(switcher.keyboard() != description.keyboard());
    switcher.setType(Keyboard::NumericKeyboard);
    QCOMPARE(switcher.keyboard(), switchNumeric);
    QVERIFY(switchNumeric != LineEditEmbedded().keyboard());
}

void tst_EmbeddedEditors::fieldWithoutKeyboardIgnoresTouch()
{
    auto *field = new LineEditEmbedded(QStringLiteral("1"), window.get());
    field->setKeyboardType(Keyboard::Type(2));
    window->show();
    QCOMPARE(field->keyboard(), nullptr);
    touch(field);
    QVERIFY(!KeyboardDriver::openKeyboard());
    QCOMPARE(field->text(), QStringLiteral("1"));
}

void tst_EmbeddedEditors::descriptionTouchPresetsRealTextOnly_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("preset");
    QTest::newRow("placeholder") << Placeholder << QString();
    QTest::newRow("placeholder in capitals") << Placeholder.toUpper() << QString();
    QTest::newRow("real description") << "Мука высшего сорта"
                                      << "Мука высшего сорта";
    QTest::newRow("two lines") << "Мука\nвысший сорт"
                               << "Мука\nвысший сорт";
}

void tst_EmbeddedEditors::descriptionTouchPresetsRealTextOnly()
{
    QFETCH(QString, shown);
    auto *description = new TextEditEmbedded(shown, window.get());
    description->setDescription(QStringLiteral("Описание рецепта"));
    window->show();

    touch(description->viewport());
    QVERIFY(KeyboardDriver::openKeyboard());
    QCOMPARE(KeyboardDriver::openKeyboard(), description->keyboard());
    QCOMPARE(KeyboardDriver::openKeyboard()->windowTitle(), QStringLiteral("Описание рецепта"));
    QTEST(KeyboardDriver::displayText(), "preset");
}

void tst_EmbeddedEditors::applyTextReplacesDescriptionByTheRules_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("announced");
    QTest::newRow("same text in other case") << "Мука"
                                             << "МУКА"
                                             << "Да" << false << "Мука" << false;
    QTest::newRow("first description over the placeholder") << Placeholder << "Мука"
                                                            << "" << false << "Мука" << true;
    QTest::newRow("over the placeholder in other case") << Placeholder.toLower() << "Мука"
                                                        << "" << false << "Мука" << true;
    QTest::newRow("replacement confirmed") << "Мука"
                                           << "Сахар"
                                           << "Да" << true << "Сахар" << true;
    QTest::newRow("replacement refused") << "Мука"
                                         << "Сахар"
                                         << "Нет" << true << "Мука" << false;
    QTest::newRow("question closed without answer") << "Мука"
                                                    << "Сахар"
                                                    << "" << true << "Мука" << false;
    QTest::newRow("clearing confirmed shows the placeholder")
        << "Мука"
        << ""
        << "Да" << true << Placeholder << true;
    QTest::newRow("clearing the placeholder") << Placeholder << ""
                                              << "Да" << false << Placeholder << false;
    QTest::newRow("markup stays text") << Placeholder << "<b>Мука</b> & соль"
                                       << "" << false << "<b>Мука</b> & соль" << true;
}

void tst_EmbeddedEditors::applyTextReplacesDescriptionByTheRules()
{
    QFETCH(QString, shown);
    QFETCH(QString, entered);
    QFETCH(QString, result);
    QFETCH(bool, announced);
    AnsweredTextEdit description(shown);
    QFETCH(QString, answer);
    description.answer = answer;
    QSignalSpy changed(&description, &TextEditEmbedded::descriptionChanged);

    description.applyText(entered);
    QTEST(description.questions == 1, "asked");
    QCOMPARE(description.toPlainText(), result);
    QCOMPARE(changed.size(), announced ? 1 : 0);
    if (announced)
        QCOMPARE(changed.at(0).at(0).toString(), result);
}

void tst_EmbeddedEditors::replaceQuestionSpeaksTheEditorsTerms()
{
    AnsweredTextEdit description(QStringLiteral("Мука"));
    QFont font = description.font();
    font.setPointSize(15);
    description.setFont(font);
    description.answer = QStringLiteral("Нет");

    description.applyText(QStringLiteral("Сахар"));
    QCOMPARE(description.questions, 1);
    QCOMPARE(description.title, QStringLiteral("Описание рецепта"));
    QCOMPARE(description.text, QStringLiteral("Изменить описание рецепта"));
    QCOMPARE(description.icon, QMessageBox::Question);
    QCOMPARE(description.format, Qt::RichText);
    QCOMPARE(description.buttonTexts.size(), 2);
    QCOMPARE(description.buttonRoles.at(description.buttonTexts.indexOf(QStringLiteral("Нет"))),
             QMessageBox::NoRole);
    QCOMPARE(description.buttonRoles.at(description.buttonTexts.indexOf(QStringLiteral("Да"))),
             QMessageBox::YesRole);
    QCOMPARE(description.defaultButton, QStringLiteral("Нет"));
    QCOMPARE(description.questionParent, &description);
    QCOMPARE(description.questionFont.pointSize(), 15);
}

void tst_EmbeddedEditors::replaceQuestionRunsModally_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("result");
    QTest::newRow("Да") << "Да"
                        << "Сахар";
    QTest::newRow("Нет") << "Нет"
                         << "Мука";
    QTest::newRow("Escape") << ""
                            << "Мука";
}

void tst_EmbeddedEditors::replaceQuestionRunsModally()
{
    QFETCH(QString, answer);
    auto *description = new TextEditEmbedded(QStringLiteral("Мука"), window.get());
    window->show();
    bool answered = false;
    QTimer::singleShot(0, this, [&] {
        auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!question)
            return;
        answered = true;
        if (answer.isEmpty()) {
            QTest::keyClick(question, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton *button : question->buttons()) {
            if (button->text() == answer)
                button->click();
        }
    });

    description->applyText(QStringLiteral("Сахар"));
    QVERIFY(answered);
    QTEST(description->toPlainText(), "result");
}

void tst_EmbeddedEditors::descriptionTypedOnTheKeyboardReachesTheEditor()
{
    auto *description = new TextEditEmbedded(Placeholder, window.get());
    window->show();
    QSignalSpy entered(description, &TextEditEmbedded::textEntered);
    QSignalSpy changed(description, &TextEditEmbedded::descriptionChanged);

    touch(description->viewport());
    description->keyboard()->setKeyboardMode(Keyboard::Ru);
    QVERIFY(KeyboardDriver::type(QStringLiteral("соль")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));

    QCOMPARE(entered.size(), 1);
    QCOMPARE(entered.at(0).at(0).toString(), QStringLiteral("соль"));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(description->toPlainText(), QStringLiteral("соль"));
}

void tst_EmbeddedEditors::switchWidgetOpensKeyboardForItsFocusedWidget_data()
{
    QTest::addColumn<Keyboard::Type>("type");
    QTest::addColumn<QString>("typed");
    QTest::newRow("numeric") << Keyboard::NumericKeyboard << "42";
    QTest::newRow("full") << Keyboard::FullsizeKeyboard << "да";
}

void tst_EmbeddedEditors::switchWidgetOpensKeyboardForItsFocusedWidget()
{
    QFETCH(Keyboard::Type, type);
    QFETCH(QString, typed);
    auto *switcher = new KeyboardSwitchWidget(window.get());
    switcher->setType(type);
    auto *plain = new QLineEdit(QStringLiteral("old"), window.get());
    plain->move(0, 50);
    plain->setFocusProxy(switcher);
    auto *untouched = new QLineEdit(QStringLiteral("other"), window.get());
    untouched->move(0, 100);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    plain->setFocus();
    QDialog *keyboard = KeyboardDriver::openKeyboard();
    QVERIFY(keyboard);
    QCOMPARE(keyboard, switcher->keyboard());
    QCOMPARE(switcher->keyboard()->keyboardType(), type);
    QCOMPARE(keyboard->windowTitle(), QStringLiteral("Title"));
    QCOMPARE(KeyboardDriver::displayText(), QString());
    QCOMPARE(window->focusWidget(), window.get());

    switcher->keyboard()->setKeyboardMode(Keyboard::Ru);
    QVERIFY(KeyboardDriver::type(typed));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(plain->text(), typed);
    QCOMPARE(untouched->text(), QStringLiteral("other"));
}

void tst_EmbeddedEditors::destructorsLeaveTraceLinesAndKeepSharedKeyboards()
{
    auto field = std::make_unique<LineEditEmbedded>();
    auto description = std::make_unique<TextEditEmbedded>();
    QPointer<Keyboard> fieldKeyboard = field->keyboard();
    QPointer<Keyboard> descriptionKeyboard = description->keyboard();

    QTest::ignoreMessage(QtDebugMsg, "~LineEditEmbedded()");
    field.reset();
    QTest::ignoreMessage(QtDebugMsg, "~TextEditEmbedded()");
    description.reset();
    QVERIFY(fieldKeyboard);
    QVERIFY(descriptionKeyboard);

    QTest::ignoreMessage(QtDebugMsg, "~Keyboard()");
    delete Keyboard::create(Keyboard::NumericKeyboard);
}

QTEST_MAIN(tst_EmbeddedEditors)
#include "tst_embeddededitors.moc"
