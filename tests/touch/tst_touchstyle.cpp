#include "touchsize.h"
#include "touchstyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

#include <limits>

class tst_TouchStyle : public QObject
{
    Q_OBJECT

private slots:
    void fingerSizeFollowsTheDensityAndFallsBackTo96_data();
    void fingerSizeFollowsTheDensityAndFallsBackTo96();
    void buttonsSizedBelowAFingerByTheirFormGrowToIt();
    void checkBoxesAndRadioButtonsAreHitAnywhereOnTheirRow();
    void rowsOfListsTablesAndComboListsAndScrollBarsAreAFingerHigh();
};

void tst_TouchStyle::fingerSizeFollowsTheDensityAndFallsBackTo96_data()
{
    QTest::addColumn<qreal>("dotsPerInch");
    QTest::addColumn<int>("pixels");
    QTest::newRow("100") << 100.0 << 36;
    QTest::newRow("254, exactly 90 px") << 254.0 << 90;
    QTest::newRow("no physical size") << 0.0 << 35;
    QTest::newRow("infinite") << std::numeric_limits<qreal>::infinity() << 35;
    QTest::newRow("not a number") << std::numeric_limits<qreal>::quiet_NaN() << 35;
    QTest::newRow("size in tenths of mm") << 9600.0 << 35;
}

void tst_TouchStyle::fingerSizeFollowsTheDensityAndFallsBackTo96()
{
    QFETCH(qreal, dotsPerInch);
    QFETCH(int, pixels);
    QCOMPARE(TouchSize::minimumPixels(dotsPerInch), pixels);
}

void tst_TouchStyle::buttonsSizedBelowAFingerByTheirFormGrowToIt()
{
    TouchStyle::install();
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    QPushButton plain(QStringLiteral("Ok")), capped(QStringLiteral("Да")),
        low(QStringLiteral("Нет"));
    capped.setMaximumSize(20, 20);
    low.setMinimumSize(0, 20);
    low.setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    for (QPushButton *button : {&plain, &capped, &low})
        row->addWidget(button);
    window.show();
    window.resize(1, 1); // squeezed: only the buttons' least sizes hold them up

    const qreal finger = 9 / 25.4 * window.screen()->physicalDotsPerInch();
    for (QPushButton *button : {&plain, &capped, &low})
        QTRY_VERIFY2(qMin(button->width(), button->height()) >= finger, qPrintable(button->text()));
}

void tst_TouchStyle::checkBoxesAndRadioButtonsAreHitAnywhereOnTheirRow()
{
    TouchStyle::install();
    QWidget window;
    auto *column = new QVBoxLayout(&window);
    QCheckBox box(QStringLiteral("Точно"));
    QRadioButton first(QStringLiteral("Да")), second(QStringLiteral("Нет"));
    // A form that held the box to a desktop row.
    box.setMaximumHeight(20);
    for (QAbstractButton *button : std::initializer_list<QAbstractButton *> {&box, &first, &second})
        column->addWidget(button);
    window.resize(400, 10);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const qreal finger = 9 / 25.4 * window.screen()->physicalDotsPerInch();
    for (QAbstractButton *button : std::initializer_list<QAbstractButton *> {&box, &second}) {
        QTRY_VERIFY2(button->height() >= finger, qPrintable(button->text()));
        // Far right of the text, at the bottom edge.
        QTest::mouseClick(button, Qt::LeftButton, {},
                          QPoint(button->width() - 1, button->height() - 1));
        QVERIFY2(button->isChecked(), qPrintable(button->text()));
    }
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(box.width() / 2, 1));
    QVERIFY(!box.isChecked());
}

void tst_TouchStyle::rowsOfListsTablesAndComboListsAndScrollBarsAreAFingerHigh()
{
    TouchStyle::install();
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    QListWidget list;
    QTableWidget table(30, 2);
    QComboBox combo;
    const QStringList days {"01.03.2024", "02.03.2024", "03.03.2024"};
    list.addItems(days);
    combo.addItems(days);
    // A table told a desktop row height before it is shown, as a window's constructor does.
    table.verticalHeader()->setDefaultSectionSize(22);
    for (QWidget *widget : std::initializer_list<QWidget *> {&list, &table, &combo})
        row->addWidget(widget);
    window.resize(600, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const qreal finger = 9 / 25.4 * window.screen()->physicalDotsPerInch();
    QVERIFY(list.visualItemRect(list.item(1)).height() >= finger);
    QVERIFY(table.rowHeight(29) >= finger);
    table.setRowCount(31);
    QVERIFY(table.rowHeight(30) >= finger);
    QTRY_VERIFY(table.verticalScrollBar()->isVisible());
    QVERIFY(table.verticalScrollBar()->width() >= finger);
    QVERIFY(combo.height() >= finger);
    combo.showPopup();
    QVERIFY(combo.view()->visualRect(combo.model()->index(2, 0)).height() >= finger);
    combo.hidePopup();
}

QTEST_MAIN(tst_TouchStyle)
#include "tst_touchstyle.moc"
