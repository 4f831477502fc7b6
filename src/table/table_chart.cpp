#include "table/table_chart.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "table/chart_backdrop.h"

namespace {

const QColor kAqua(0, 255, 255);
const QColor kTeal(0, 128, 128);
const QColor kScaleGrey(150, 150, 150);
// How far the back of the chart lies behind its front, in pixels.
constexpr qreal kDepthX = 9;
constexpr qreal kDepthY = 6;
const QPointF kDepth(kDepthX, -kDepthY);
// Room around the plot and its labels: the walls and bar tops reach up and right
// by the depth.
constexpr qreal kLeft = 6, kTop = 6 + kDepthY, kRight = 6 + kDepthX, kBottom = 2;
constexpr qreal kTickLength = 5;
constexpr qreal kLabelGap = 1;
constexpr int kTopValue = 255;
constexpr int kLabelStep = 25;

QPolygonF Extruded(QPointF a, QPointF b) { return QPolygonF({a, b, b + kDepth, a + kDepth}); }

}  // namespace

void TChartSeries::setValues(std::vector<double> values) {
  values_ = std::move(values);
  if (OnChange) OnChange(this);
}

void TChartSeries::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (OnChange) OnChange(this);
}

TableChartView::TableChartView(QWidget* parent) : QWidget(parent), labelFont_("Arial") {
  labelFont_.setPixelSize(11);
  // The widest label is the top one; each has a pixel of room above and below.
  const QFontMetricsF metrics(labelFont_);
  label_ = QSizeF(metrics.horizontalAdvance(QString::number(kTopValue)),
                  std::ceil(metrics.height()) + 2);
  line_.setVisible(false);
  for (TChartSeries* series : {&line_, &bars_}) series->OnChange = [this](TObject*) { update(); };
}

// The plot spans the notes across and 0..255 up; the scale's labels stand
// left of it, and the top and bottom labels reach half their height beyond it.
QRectF TableChartView::PlotArea() const {
  const qreal left = kLeft + label_.width() + kLabelGap + kTickLength;
  return QRectF(QPointF(left, kTop + label_.height() / 2),
                QPointF(width() - kRight, height() - kBottom - label_.height() / 2));
}

QPointF TableChartView::MapToPosition(double note, double value) const {
  const QRectF plot = PlotArea();
  return QPointF(plot.left() + (note + 0.5) * plot.width() / kTableSize,
                 plot.bottom() - value * plot.height() / kTopValue);
}

// A bar spans one whole note, touching its neighbours.
QRectF TableChartView::Bar(int note) const {
  const double value = bars_.values()[note];
  return QRectF(MapToPosition(note - 0.5, value), MapToPosition(note + 0.5, 0));
}

void TableChartView::paintEvent(QPaintEvent*) {
  if (backdrop_.size() != size()) backdrop_ = ChartBackdrop(size());
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.drawImage(QPointF(0, 0), backdrop_);
  DrawWalls(painter);
  DrawScale(painter);
  painter.save();
  painter.setClipRect(PlotArea());
  if (bars_.isVisible()) DrawBars(painter);
  if (line_.isVisible()) DrawLine(painter);
  painter.restore();
  if (bars_.isVisible()) DrawBarTops(painter);
}

void TableChartView::DrawWalls(QPainter& painter) const {
  const QRectF plot = PlotArea();
  painter.setPen(QPen(QColor(40, 40, 40), 1));
  painter.setBrush(QColor(0, 0, 0, 70));
  painter.drawRect(plot.translated(kDepth));
  QLinearGradient wall(plot.topLeft(), plot.topLeft() + kDepth);
  wall.setColorAt(0, QColor(150, 150, 150, 190));
  wall.setColorAt(1, QColor(100, 100, 100, 190));
  painter.setBrush(wall);
  painter.drawPolygon(Extruded(plot.bottomLeft(), plot.topLeft()));
  painter.setBrush(QColor(120, 120, 120, 190));
  painter.drawPolygon(Extruded(plot.bottomLeft(), plot.bottomRight()));
}

// Dotted grid lines, the scale's line with its ticks, and whole-number labels
// every 25.
void TableChartView::DrawScale(QPainter& painter) const {
  const QRectF plot = PlotArea();
  painter.setFont(labelFont_);
  for (int value = 0; value <= kTopValue; value += kLabelStep) {
    const qreal y = MapToPosition(0, value).y();
    painter.setPen(QPen(QColor(150, 150, 150, 90), 1, Qt::DotLine));
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(QPen(kScaleGrey, 1));
    painter.drawLine(QPointF(plot.left() - kTickLength, y), QPointF(plot.left(), y));
    painter.setPen(kAqua);
    const QRectF label(0, y - label_.height() / 2, plot.left() - kTickLength - kLabelGap,
                       label_.height());
    painter.drawText(label, Qt::AlignRight | Qt::AlignTop, QString::number(value));
  }
  // Just left of the plot, so that the edge of the left wall stays in sight.
  const qreal x = plot.left() - 1;
  painter.setPen(QPen(kScaleGrey, 1));
  painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.top()));
}

void TableChartView::DrawBars(QPainter& painter) const {
  QLinearGradient fill(0, 0, 0, 1);
  fill.setCoordinateMode(QGradient::ObjectMode);
  fill.setColorAt(0, QColor(0, 200, 200));
  fill.setColorAt(1, QColor(0, 96, 96));
  painter.setPen(QPen(kTeal.darker(200), 1));
  painter.setBrush(fill);
  for (int i = 0; i < static_cast<int>(bars_.values().size()); ++i) painter.drawRect(Bar(i));
}

// The top of every bar, and the side of a bar where its right neighbour is lower.
// A face is cut where a taller neighbour stands in front of it.
void TableChartView::DrawBarTops(QPainter& painter) const {
  if (bars_.values().size() != kTableSize) return;
  const qreal bottom = MapToPosition(0, 0).y();
  painter.setPen(QPen(kTeal.darker(200), 1));
  for (int i = 0; i < kTableSize; ++i) {
    const QRectF bar = Bar(i);
    QPainterPath top;
    top.addPolygon(Extruded(bar.topLeft(), bar.topRight()));
    top.closeSubpath();
    QPainterPath side;
    const qreal nextTop = i + 1 < kTableSize ? Bar(i + 1).top() : bottom;
    if (nextTop > bar.top()) {
      side.addPolygon(Extruded(QPointF(bar.right(), nextTop), bar.topRight()));
      side.closeSubpath();
    }
    if (i + 1 < kTableSize) {
      QPainterPath next;
      next.addRect(Bar(i + 1));
      top = top.subtracted(next);
    }
    painter.setBrush(QColor(60, 220, 220));
    painter.drawPath(top);
    painter.setBrush(QColor(0, 80, 80));
    painter.drawPath(side);
  }
}

void TableChartView::DrawLine(QPainter& painter) const {
  QPolygonF points;
  for (int i = 0; i < static_cast<int>(line_.values().size()); ++i)
    points.append(MapToPosition(i, line_.values()[i]));
  painter.setPen(QPen(kAqua, 2));
  painter.drawPolyline(points);
}

void ShowTableInChart(TChartSeries* line, TChartSeries* bars, const TNoteTable& table) {
  const std::vector<double> values(table.begin(), table.end());
  line->setValues(values);
  bars->setValues(values);
}
