#include "readonlyfield.h"

#include <QTest>
#include <QToolTip>

class tst_ReadOnlyField : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void textThatFitsIsShownWhole();
    void longTextKeepsItsStartEndsWithAnEllipsisAndATouchShowsItWhole();

private:
    std::unique_ptr<ReadOnlyField> field;
};

void tst_ReadOnlyField::init()
{
    field = std::make_unique<ReadOnlyField>();
    field->resize(120, 36);
    field->show();
    QVERIFY(QTest::qWaitForWindowExposed(field.get()));
}

void tst_ReadOnlyField::textThatFitsIsShownWhole()
{
    field->setText(QStringLiteral("нет"));
    QCOMPARE(field->shownText(), field->text());
    QTest::mouseClick(field.get(), Qt::LeftButton);
    QVERIFY(!QToolTip::isVisible());
}

void tst_ReadOnlyField::longTextKeepsItsStartEndsWithAnEllipsisAndATouchShowsItWhole()
{
    const QString whole =
        QStringLiteral("выключена (изучено: -1.96 %, в полёте -0.290, по 12 дозам)");
    field->setText(whole);
    const QString shown = field->shownText();
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QVERIFY2(whole.startsWith(shown.chopped(1)), qPrintable(shown));
    QVERIFY(shown.size() > 3);
    QVERIFY(field->fontMetrics().horizontalAdvance(shown) <= field->textArea().width());
    // Whoever reads the field still gets the whole text.
    QCOMPARE(field->text(), whole);

    QTest::mouseClick(field.get(), Qt::LeftButton);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), whole);
}

QTEST_MAIN(tst_ReadOnlyField)
#include "tst_readonlyfield.moc"
