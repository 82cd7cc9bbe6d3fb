#include "keyboard.h"

#include <QAbstractButton>
#include <QDir>
#include <QPixmap>
#include <QTest>
#include <QTextEdit>

#include <memory>

// Draws both keyboards offscreen into PNG files for a reviewer, and checks what a reviewer
// would look for: every key inside the window, no two keys overlapping, every label fitting.
class tst_KeyboardScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void keyboardIsLegibleAndSaved_data();
    void keyboardIsLegibleAndSaved();
};

void tst_KeyboardScreenshots::keyboardIsLegibleAndSaved_data()
{
    QTest::addColumn<Keyboard::Type>("type");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("file");
    QTest::newRow("full Ru") << Keyboard::FullsizeKeyboard << int(Keyboard::Ru)
                             << "keyboard-full-ru.png";
    QTest::newRow("full EnShift") << Keyboard::FullsizeKeyboard << int(Keyboard::EnShift)
                                  << "keyboard-full-en-shift.png";
    QTest::newRow("numeric") << Keyboard::NumericKeyboard << int(Keyboard::Ru)
                             << "keyboard-numeric.png";
}

void tst_KeyboardScreenshots::keyboardIsLegibleAndSaved()
{
    QFETCH(Keyboard::Type, type);
    QFETCH(int, mode);
    QFETCH(QString, file);
    std::unique_ptr<Keyboard> keyboard(Keyboard::create(type));
    keyboard->setKeyboardMode(mode);
    keyboard->openForWidget(nullptr, QStringLiteral("Вес дозы"));
    keyboard->findChild<QTextEdit *>(QStringLiteral("display"))
        ->setPlainText(QStringLiteral("12.5"));
    QVERIFY(QTest::qWaitForWindowExposed(keyboard.get()));

    QDir output(qEnvironmentVariable("K310_TEST_OUTPUT", QDir::currentPath()));
    QVERIFY(output.mkpath(QStringLiteral(".")));
    const QString path = output.filePath(file);
    QVERIFY(keyboard->grab().save(path));
    qInfo("%s", qPrintable(path));
    QList<QWidget *> parts;
    for (QWidget *child : keyboard->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible())
            parts << child;
    }
    const QRect window = keyboard->rect();
    for (int i = 0; i < parts.size(); ++i) {
        const QString name = parts[i]->objectName();
        QVERIFY2(window.contains(parts[i]->geometry()), qPrintable(name));
        for (int j = i + 1; j < parts.size(); ++j)
            QVERIFY2(!parts[i]->geometry().intersects(parts[j]->geometry()),
                     qPrintable(name + QLatin1Char('/') + parts[j]->objectName()));
        auto *button = qobject_cast<QAbstractButton *>(parts[i]);
        if (!button)
            continue;
        QVERIFY2(button->height() >= 52 && button->width() >= 52, qPrintable(name));
        QCOMPARE(button->font().pointSize(), 16);
        const int labelWidth = button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(labelWidth + 12 <= button->width(), qPrintable(name + u' ' + button->text()));
    }

    keyboard->reject();
    QTest::ignoreMessage(QtDebugMsg, "~Keyboard()");
}

QTEST_MAIN(tst_KeyboardScreenshots)
#include "tst_keyboardscreenshots.moc"
