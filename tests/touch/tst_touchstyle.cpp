#include "touchsize.h"
#include "touchstyle.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <limits>

class tst_TouchStyle : public QObject
{
    Q_OBJECT

private slots:
    void fingerSizeFollowsTheDensityAndFallsBackTo96_data();
    void fingerSizeFollowsTheDensityAndFallsBackTo96();
    void buttonsSizedBelowAFingerByTheirFormGrowToIt();
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

QTEST_MAIN(tst_TouchStyle)
#include "tst_touchstyle.moc"
