// Draws the program's icons into images/ (run by hand when an icon changes):
//   drawicons <images folder>
// The icons are our own simple drawings, so the artwork carries no third-party licence.
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <functional>

namespace {

constexpr int Size = 48;
const QColor Ink(0x25, 0x3a, 0x5e);
const QColor Blue(0x2f, 0x6f, 0xc0);
const QColor Green(0x2e, 0x9e, 0x4f);
const QColor Red(0xc8, 0x32, 0x2e);
const QColor Amber(0xe6, 0xa1, 0x17);
const QColor Paper(0xf4, 0xf6, 0xfa);

void arrow(QPainter &p, qreal angle, const QColor &color)
{
    p.translate(Size / 2.0, Size / 2.0);
    p.rotate(angle);
    p.setBrush(color);
    p.setPen(QPen(Ink, 2));
    p.drawPolygon(QPolygonF({{-14, 8}, {0, -12}, {14, 8}}));
}

void hopper(QPainter &p, const QColor &fill)
{
    p.setPen(QPen(Ink, 2.5));
    p.setBrush(fill);
    p.drawPolygon(QPolygonF({{8, 6}, {40, 6}, {40, 24}, {28, 38}, {20, 38}, {8, 24}}));
    p.drawRect(QRectF(20, 38, 8, 6));
}

void database(QPainter &p, const QColor &mark, const std::function<void(QPainter &)> &sign)
{
    p.setPen(QPen(Ink, 2));
    p.setBrush(QColor(0xb8, 0xc8, 0xe0));
    p.drawRect(QRectF(6, 10, 26, 28));
    p.drawEllipse(QRectF(6, 4, 26, 10));
    p.drawArc(QRectF(6, 33, 26, 10), 180 * 16, 180 * 16);
    p.setBrush(mark);
    p.drawEllipse(QRectF(24, 24, 22, 22));
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
    sign(p);
}

const QList<QPair<QString, std::function<void(QPainter &)>>> &icons()
{
    static const QList<QPair<QString, std::function<void(QPainter &)>>> list = {
        {"kesta", [](QPainter &p) { hopper(p, Amber); }},
        {"start",
         [](QPainter &p) {
             p.setPen(QPen(Ink, 2));
             p.setBrush(Green);
             p.drawPolygon(QPolygonF({{12, 6}, {42, 24}, {12, 42}}));
         }},
        {"start1",
         [](QPainter &p) {
             p.setPen(QPen(Ink, 2));
             p.setBrush(Green);
             p.drawRect(QRectF(6, 8, 7, 32));
             p.drawPolygon(QPolygonF({{18, 8}, {44, 24}, {18, 40}}));
         }},
        {"stop",
         [](QPainter &p) {
             p.setPen(QPen(Ink, 2));
             p.setBrush(Red);
             p.drawRoundedRect(QRectF(8, 8, 32, 32), 4, 4);
         }},
        {"exit_1",
         [](QPainter &p) {
             p.setPen(QPen(Ink, 2));
             p.setBrush(QColor(0x9a, 0x6b, 0x3c));
             p.drawRect(QRectF(8, 4, 22, 40));
             p.setPen(QPen(Red, 4, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(22, 24), QPointF(42, 24));
             p.drawLine(QPointF(42, 24), QPointF(35, 17));
             p.drawLine(QPointF(42, 24), QPointF(35, 31));
         }},
        {"rs232_new",
         [](QPainter &p) {
             p.setPen(QPen(Ink, 2));
             p.setBrush(QColor(0x8f, 0x9b, 0xab));
             p.drawPolygon(QPolygonF({{4, 14}, {44, 14}, {38, 34}, {10, 34}}));
             p.setBrush(Paper);
             for (int i = 0; i < 5; ++i)
                 p.drawEllipse(QPointF(11 + i * 6.5, 20), 2, 2);
             for (int i = 0; i < 4; ++i)
                 p.drawEllipse(QPointF(14 + i * 6.5, 28), 2, 2);
         }},
        {"k310_on_new",
         [](QPainter &p) {
             hopper(p, Blue);
             p.setPen(Qt::NoPen);
             p.setBrush(Green);
             p.drawEllipse(QRectF(30, 30, 16, 16));
         }},
        {"statistics",
         [](QPainter &p) {
             p.setPen(QPen(Ink, 2));
             p.drawLine(6, 42, 44, 42);
             p.drawLine(6, 42, 6, 4);
             const QColor colors[] = {Blue, Green, Amber};
             const int heights[] = {16, 30, 22};
             for (int i = 0; i < 3; ++i) {
                 p.setBrush(colors[i]);
                 p.drawRect(QRectF(11 + i * 11, 42 - heights[i], 8, heights[i]));
             }
         }},
        {"sendCommand",
         [](QPainter &p) {
             hopper(p, Paper);
             p.setPen(QPen(Green, 4, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(24, 12), QPointF(24, 30));
             p.drawLine(QPointF(24, 30), QPointF(17, 23));
             p.drawLine(QPointF(24, 30), QPointF(31, 23));
         }},
        {"db_add",
         [](QPainter &p) {
             database(p, Green, [](QPainter &q) {
                 q.drawLine(QPointF(29, 35), QPointF(41, 35));
                 q.drawLine(QPointF(35, 29), QPointF(35, 41));
             });
         }},
        {"db_remove",
         [](QPainter &p) {
             database(p, Red, [](QPainter &q) { q.drawLine(QPointF(29, 35), QPointF(41, 35)); });
         }},
        {"db_comit",
         [](QPainter &p) {
             database(p, Blue, [](QPainter &q) {
                 q.drawPolyline(QPolygonF({{29, 35}, {33, 40}, {41, 30}}));
             });
         }},
        {"db_update",
         [](QPainter &p) {
             database(p, Amber,
                      [](QPainter &q) { q.drawArc(QRectF(29, 29, 12, 12), 30 * 16, 270 * 16); });
         }},
        {"up", [](QPainter &p) { arrow(p, 0, Blue); }},
        {"right", [](QPainter &p) { arrow(p, 90, Blue); }},
        {"down", [](QPainter &p) { arrow(p, 180, Blue); }},
        {"left", [](QPainter &p) { arrow(p, 270, Blue); }},
        {"receipt",
         [](QPainter &p) {
             p.setPen(QPen(Ink, 2));
             p.setBrush(Paper);
             p.drawRect(QRectF(10, 4, 28, 40));
             p.setPen(QPen(Blue, 2.5));
             for (int y = 13; y <= 35; y += 7)
                 p.drawLine(15, y, 33, y);
         }},
    };
    return list;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("images"));
    for (const auto &[name, draw] : icons()) {
        QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
        painter.end();
        if (!image.save(folder.filePath(name + ".png")))
            return 1;
    }
    return 0;
}
