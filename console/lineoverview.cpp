#include "lineoverview.h"

#include "statecolours.h"
#include "touchsize.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int Padding = 5;
constexpr int TileSpacing = 4;
constexpr int SelectedFrame = 3;
constexpr int BarHeight = 4;
constexpr int BarGap = 2;
// Lines of text in a tile: title, product, state, weight, progress.
constexpr int TextLines = 5;
// A few dosers share the strip without stretching into wide, empty tiles.
constexpr int MaximumTileWidth = 220;
constexpr int PreferredTileWidth = 140;
constexpr qreal MinimumShrink = 0.75;

} // namespace

LineOverview::LineOverview(const ProcessImage *image, QWidget *parent)
    : QWidget(parent)
    , image(image)
{
    bold = font();
    bold.setBold(true);
    connect(image, &ProcessImage::changed, this, [this](int position) {
        refresh(position);
        update(tileRect(position));
    });
    connect(image, &ProcessImage::dosersChanged, this, &LineOverview::rebuild);
    rebuild();
}

void LineOverview::setNames(const QStringList &names)
{
    this->names = names;
    for (int position = 0; position < tiles.size(); ++position)
        refresh(position);
    update();
}

void LineOverview::setSelected(int position)
{
    if (position == selectedTile)
        return;
    update(tileRect(selectedTile));
    selectedTile = position;
    update(tileRect(selectedTile));
}

void LineOverview::rebuild()
{
    tiles.resize(image->doserCount());
    for (int position = 0; position < tiles.size(); ++position)
        refresh(position);
    if (selectedTile >= tiles.size())
        selectedTile = -1;
    pressed = -1;
    updateGeometry();
    update();
}

QRect LineOverview::tileRect(int position) const
{
    const int count = int(tiles.size());
    if (position < 0 || position >= count)
        return QRect();
    const int width = qMin(MaximumTileWidth, (this->width() - (count - 1) * TileSpacing) / count);
    return QRect(position * (width + TileSpacing), 0, width, height());
}

QSize LineOverview::sizeHint() const
{
    const int count = int(qMax<qsizetype>(1, tiles.size()));
    return QSize(count * PreferredTileWidth + (count - 1) * TileSpacing, tileHeight());
}

QSize LineOverview::minimumSizeHint() const
{
    const int count = int(qMax<qsizetype>(1, tiles.size()));
    return QSize(count * tileMinimumWidth() + (count - 1) * TileSpacing, tileHeight());
}

void LineOverview::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    for (int position = 0; position < tiles.size(); ++position) {
        if (event->rect().intersects(tileRect(position)))
            drawTile(painter, position);
    }
}

void LineOverview::mousePressEvent(QMouseEvent *event)
{
    pressed = event->button() == Qt::LeftButton ? tileAt(event->position().toPoint()) : -1;
}

void LineOverview::mouseReleaseEvent(QMouseEvent *event)
{
    // A finger that slides off the tile it touched selects nothing.
    const int released = tileAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && released >= 0 && released == pressed)
        emit selected(released);
    pressed = -1;
}

void LineOverview::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        bold = font();
        bold.setBold(true);
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

void LineOverview::refresh(int position)
{
    const DoserImage &doser = image->doser(position);
    const BatchProgress &batch = doser.batch;
    Tile &tile = tiles[position];
    const QString name = names.value(position);
    const QString address = QString::number(doser.deviceId);
    tile.title = name.isEmpty() ? QStringLiteral("Дозатор ") + address
                                : address + QStringLiteral(" · ") + name;
    tile.product = batch.product;
    tile.state = doserStateText(doser.state);
    tile.stateColour = StateColours::of(doser.state);
    tile.weight = doser.unit.isEmpty() ? doser.netWeight.text()
                                       : doser.netWeight.text() + QLatin1Char(' ') + doser.unit;
    const bool hasTarget = batch.target.value > 0;
    tile.share = hasTarget ? qBound(0.0, batch.delivered.value / batch.target.value, 1.0) : 0;
    tile.progress = hasTarget
                        ? batch.delivered.text() + QStringLiteral(" из ") + batch.target.text()
                        : QString();
}

void LineOverview::drawTile(QPainter &painter, int position) const
{
    const Tile &tile = tiles.at(position);
    const QRect area = tileRect(position);
    const bool isSelected = position == selectedTile;
    painter.fillRect(area, palette().base());
    const int frame = isSelected ? SelectedFrame : 1;
    painter.setPen(QPen(isSelected ? palette().highlight() : palette().mid(), frame));
    painter.setBrush(Qt::NoBrush);
    // The pen straddles the path; inset by half its width to keep the frame inside the tile.
    painter.drawRect(QRectF(area).adjusted(frame / 2.0, frame / 2.0, -frame / 2.0, -frame / 2.0));

    const QFontMetrics plainMetrics(font());
    const QFontMetrics boldMetrics(bold);
    const int lineHeight = qMax(plainMetrics.height(), boldMetrics.height());
    const int textWidth = area.width() - 2 * Padding;
    QRect line(area.x() + Padding, area.y() + Padding, textWidth, lineHeight);
    // Figures are drawn smaller before they are cut, since a cut figure reads as another.
    auto drawLine = [&](const QString &text, bool strong, const QColor &colour, bool figures) {
        QFont lineFont = strong ? bold : font();
        const int advance = (strong ? boldMetrics : plainMetrics).horizontalAdvance(text);
        if (figures && advance > textWidth && lineFont.pointSizeF() > 0)
            lineFont.setPointSizeF(lineFont.pointSizeF()
                                   * qMax(MinimumShrink, qreal(textWidth) / advance));
        painter.setFont(lineFont);
        painter.setPen(colour);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetrics(lineFont).elidedText(text, Qt::ElideRight, textWidth));
        line.translate(0, lineHeight);
    };
    const QColor text = palette().color(QPalette::Text);
    drawLine(tile.title, false, text, false);
    drawLine(tile.product, false, text, false);
    drawLine(tile.state, true, tile.stateColour, false);
    drawLine(tile.weight, true, text, true);
    if (tile.progress.isEmpty())
        return;
    const QRect bar(line.x(), line.y() + BarGap, textWidth, BarHeight);
    painter.fillRect(bar, palette().mid());
    painter.fillRect(QRect(bar.topLeft(), QSize(qRound(tile.share * textWidth), BarHeight)),
                     StateColours::Working);
    line.translate(0, BarHeight + 2 * BarGap);
    drawLine(tile.progress, false, text, true);
}

int LineOverview::tileAt(const QPoint &point) const
{
    for (int position = 0; position < tiles.size(); ++position) {
        if (tileRect(position).contains(point))
            return position;
    }
    return -1;
}

int LineOverview::tileHeight() const
{
    const int lineHeight = qMax(fontMetrics().height(), QFontMetrics(bold).height());
    const int content = 2 * Padding + TextLines * lineHeight + BarHeight + 2 * BarGap;
    return qMax(content, TouchSize::minimumPixels(screen()));
}

int LineOverview::tileMinimumWidth() const
{
    // Two finger widths leave room for a few characters on each line.
    return 2 * TouchSize::minimumPixels(screen());
}

#include "moc_lineoverview.cpp"
