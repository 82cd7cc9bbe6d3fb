#include "readonlyfield.h"

#include <QTest>
#include <QToolTip>

class tst_ReadOnlyField : public QObject
{
    Q_OBJECT

private slots:
    void longTextKeepsItsStartEndsWithAnEllipsisAndATouchShowsItWhole();
};

void tst_ReadOnlyField::longTextKeepsItsStartEndsWithAnEllipsisAndATouchShowsItWhole()
{
    ReadOnlyField field;
    field.resize(120, 36);
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    field.setText(QStringLiteral("нет"));
    QCOMPARE(field.shownText(), field.text());

    const QString whole =
        QStringLiteral("выключена (изучено: -1.96 %, в полёте -0.290, по 12 дозам)");
    field.setText(whole);
    const QString shown = field.shownText();
    QVERIFY2(shown.size() > 3 && shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QVERIFY2(whole.startsWith(shown.chopped(1)), qPrintable(shown));
    QVERIFY(field.fontMetrics().horizontalAdvance(shown) <= field.textArea().width());
    QCOMPARE(field.text(), whole);
    QTest::mouseClick(&field, Qt::LeftButton);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), whole);
}

QTEST_MAIN(tst_ReadOnlyField)
#include "tst_readonlyfield.moc"
