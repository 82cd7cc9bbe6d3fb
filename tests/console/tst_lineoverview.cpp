#include "dialogcheck.h"
#include "lineoverview.h"
#include "processimage.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

struct DrawnText
{
    QString text;
    QRectF rect;
    QColor colour;
};

// Keeps where each text was drawn and in which colour, and draws nothing.
class TextRecorder : public QPaintEngine
{
public:
    TextRecorder()
        : QPaintEngine(AllFeatures)
    { }

    QList<DrawnText> texts;

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override { }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
    void drawPath(const QPainterPath &) override { }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { }
    void drawTextItem(const QPointF &point, const QTextItem &item) override
    {
        const QFontMetricsF metrics(item.font());
        const QRectF rect(point.x(), point.y() - metrics.ascent(),
                          metrics.horizontalAdvance(item.text()), metrics.height());
        texts.append({item.text(), state->transform().mapRect(rect), state->pen().color()});
    }
    Type type() const override { return User; }
};

// An image's size and density with the recorder behind it.
class RecordedImage : public QImage
{
public:
    explicit RecordedImage(QSize size)
        : QImage(size, QImage::Format_ARGB32)
    { }
    QPaintEngine *paintEngine() const override { return &recorder; }
    mutable TextRecorder recorder;
};

QList<DrawnText> textsIn(QWidget *widget, const QRect &area)
{
    RecordedImage image(widget->size());
    widget->render(&image);
    QList<DrawnText> inside;
    for (const DrawnText &drawn : image.recorder.texts) {
        if (area.intersects(drawn.rect.toAlignedRect()))
            inside << drawn;
    }
    return inside;
}

const DrawnText *findText(const QList<DrawnText> &texts, const QString &part)
{
    for (const DrawnText &drawn : texts) {
        if (drawn.text.contains(part))
            return &drawn;
    }
    return nullptr;
}

void setDoser(ProcessImage &image, int position, DoserState state, double weight,
              const QString &product = QString(), double target = 0, double delivered = 0)
{
    image.update(position, [&](DoserImage &doser) {
        doser.deviceId = position + 1;
        doser.state = state;
        doser.netWeight = {weight, 1};
        doser.unit = QStringLiteral("кг");
        doser.batch.product = product;
        doser.batch.target = {target, 1};
        doser.batch.delivered = {delivered, 1};
    });
}

} // namespace

class tst_LineOverview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { DialogCheck::useConsoleLook(); }
    void tilesFollowTheImage();
    void changeRepaintsOnlyItsTile();
    void touchOnSecondTileSelectsIt();
    void eightFingerSizedTilesFitTheWindowWithoutOverlap();
    void resizeKeepsAndExtendsTiles();
};

void tst_LineOverview::tilesFollowTheImage()
{
    ProcessImage image(3);
    LineOverview overview(&image);
    overview.resize(overview.sizeHint());
    setDoser(image, 1, DoserState::Working, 12.5);
    QList<DrawnText> texts = textsIn(&overview, overview.tileRect(1));
    const DrawnText *state = findText(texts, doserStateText(DoserState::Working));
    QVERIFY(state && state->colour.green() > state->colour.red());
    QVERIFY(findText(texts, QStringLiteral("12.5 кг")) && findText(texts, "Дозатор 2"));

    setDoser(image, 1, DoserState::Alarm, 3, QStringLiteral("Мука"), 100, 40);
    overview.setNames({QString(), QStringLiteral("Сахар")});
    texts = textsIn(&overview, overview.tileRect(1));
    state = findText(texts, doserStateText(DoserState::Alarm));
    QVERIFY(state && state->colour.red() > state->colour.green());
    QVERIFY(!findText(texts, doserStateText(DoserState::Working)));
    for (const char *shown : {"3.0 кг", "Мука", "40.0 из 100.0", "2 · Сахар"})
        QVERIFY2(findText(texts, QString::fromUtf8(shown)), shown);
}

void tst_LineOverview::changeRepaintsOnlyItsTile()
{
    ProcessImage image(4);
    LineOverview overview(&image);
    overview.resize(overview.sizeHint());
    overview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overview));
    struct PaintWatch : QObject
    {
        QRegion painted;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted += static_cast<QPaintEvent *>(event)->region();
            return false;
        }
    } watch;
    overview.installEventFilter(&watch);
    setDoser(image, 2, DoserState::Stopped, 7);
    QTRY_VERIFY(!watch.painted.isEmpty());
    QVERIFY(overview.tileRect(2).contains(watch.painted.boundingRect()));
}

void tst_LineOverview::touchOnSecondTileSelectsIt()
{
    ProcessImage image(3);
    LineOverview overview(&image);
    overview.resize(overview.sizeHint());
    QSignalSpy selected(&overview, &LineOverview::selected);
    QTest::mouseClick(&overview, Qt::LeftButton, {}, overview.tileRect(1).center());
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).toInt(), 1);
    // Sliding from one tile to the next selects neither.
    QTest::mousePress(&overview, Qt::LeftButton, {}, overview.tileRect(0).center());
    QTest::mouseRelease(&overview, Qt::LeftButton, {}, overview.tileRect(1).center());
    QCOMPARE(selected.count(), 1);
}

void tst_LineOverview::eightFingerSizedTilesFitTheWindowWithoutOverlap()
{
    constexpr int Dosers = 8;
    constexpr int WindowWidth = 895;
    ProcessImage image(Dosers);
    LineOverview overview(&image);
    for (int position = 0; position < Dosers; ++position)
        setDoser(image, position, DoserState::NoConnection, 123456.7,
                 QStringLiteral("Комбикорм для откорма бройлеров ПК-5"), 12345.6, 9876.5);
    overview.setNames(QStringList(Dosers, QStringLiteral("Весовой дозатор премиксов")));
    QVERIFY(overview.minimumSizeHint().width() <= WindowWidth);
    overview.resize(WindowWidth, overview.sizeHint().height());

    const int finger = qCeil(9 / 25.4 * overview.screen()->physicalDotsPerInch());
    QVERIFY(findText(textsIn(&overview, overview.rect()), QStringLiteral("…")));
    for (int position = 0; position < Dosers; ++position) {
        const QRect tile = overview.tileRect(position);
        QVERIFY(overview.rect().contains(tile));
        QVERIFY(qMin(tile.width(), tile.height()) >= finger);
        const QList<DrawnText> texts = textsIn(&overview, tile);
        QCOMPARE(texts.size(), 5);
        for (int i = 0; i < texts.size(); ++i) {
            QVERIFY2(QRectF(tile).contains(texts.at(i).rect), qPrintable(texts.at(i).text));
            for (int j = i + 1; j < texts.size(); ++j)
                QVERIFY(!texts.at(i).rect.intersects(texts.at(j).rect));
        }
    }
}

void tst_LineOverview::resizeKeepsAndExtendsTiles()
{
    ProcessImage image(2);
    LineOverview overview(&image);
    setDoser(image, 1, DoserState::Working, 5);
    overview.setSelected(1);
    image.resize(3);
    overview.resize(overview.sizeHint());
    QVERIFY(!overview.tileRect(2).intersects(overview.tileRect(1)));
    QVERIFY(findText(textsIn(&overview, overview.tileRect(1)), QStringLiteral("5.0 кг")));
    QVERIFY(findText(textsIn(&overview, overview.tileRect(2)),
                     doserStateText(DoserState::NoConnection)));
    image.resize(1);
    QVERIFY(!overview.tileRect(1).isValid());
}

QTEST_MAIN(tst_LineOverview)
#include "tst_lineoverview.moc"
