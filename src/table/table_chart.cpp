#include "table/table_chart.h"

#include <QBarSeries>
#include <QBarSet>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QPainter>
#include <QPainterPath>
#include <QValueAxis>

#include "table/chart_backdrop.h"

namespace {

const QColor kAqua(0, 255, 255);
const QColor kTeal(0, 128, 128);
// How far the back of the chart lies behind its front, in pixels.
constexpr qreal kDepthX = 9;
constexpr qreal kDepthY = 6;
const QPointF kDepth(kDepthX, -kDepthY);

QPolygonF Extruded(QPointF a, QPointF b) { return QPolygonF({a, b, b + kDepth, a + kDepth}); }

}  // namespace

TableChartView::TableChartView(QWidget* parent) : QChartView(new QChart, parent) {
  QChart* c = chart();
  c->legend()->hide();
  c->setBackgroundVisible(false);
  c->setPlotAreaBackgroundVisible(false);
  c->setBackgroundRoundness(0);
  c->layout()->setContentsMargins(0, 0, 0, 0);
  c->setMargins(QMargins(4, 6 + static_cast<int>(kDepthY), 6 + static_cast<int>(kDepthX), 2));
  setRenderHint(QPainter::Antialiasing);
  setRubberBand(QChartView::NoRubberBand);
  // The walls and bar tops reach beyond the items that change.
  setViewportUpdateMode(QGraphicsView::FullViewportUpdate);

  line_ = new QLineSeries;
  line_->setName("Series1");
  line_->setPen(QPen(kAqua, 2));
  bars_ = new QBarSeries;
  bars_->setName("Series2");
  bars_->setBarWidth(1.0);
  set_ = new QBarSet("Series2");
  QLinearGradient fill(0, 0, 0, 1);
  fill.setCoordinateMode(QGradient::ObjectMode);
  fill.setColorAt(0, QColor(0, 200, 200));
  fill.setColorAt(1, QColor(0, 96, 96));
  set_->setBrush(fill);
  set_->setPen(QPen(kTeal.darker(200), 1));
  bars_->append(set_);
  c->addSeries(bars_);
  c->addSeries(line_);

  // The notes run along an axis that is not drawn; a bar spans one whole note.
  auto* notes = new QValueAxis;
  notes->setRange(-0.5, kTableSize - 0.5);
  notes->setVisible(false);
  c->addAxis(notes, Qt::AlignBottom);
  auto* dac = new QValueAxis;
  dac->setRange(0, 255);
  dac->setLabelFormat("%d");
  dac->setTickType(QValueAxis::TicksDynamic);
  dac->setTickAnchor(0);
  dac->setTickInterval(25);
  dac->setMinorTickCount(0);
  QFont font("Arial");
  font.setPixelSize(11);
  dac->setLabelsFont(font);
  dac->setLabelsColor(kAqua);
  dac->setLinePen(QPen(QColor(150, 150, 150), 1));
  dac->setGridLinePen(QPen(QColor(150, 150, 150, 90), 1, Qt::DotLine));
  c->addAxis(dac, Qt::AlignLeft);
  for (QAbstractSeries* series : {static_cast<QAbstractSeries*>(bars_),
                                  static_cast<QAbstractSeries*>(line_)}) {
    series->attachAxis(notes);
    series->attachAxis(dac);
  }
  line_->setVisible(false);
}

void TableChartView::drawBackground(QPainter* painter, const QRectF&) {
  if (backdrop_.size() != viewport()->size()) backdrop_ = ChartBackdrop(viewport()->size());
  painter->drawImage(QPointF(0, 0), backdrop_);

  const QRectF plot = chart()->plotArea();
  painter->setPen(QPen(QColor(40, 40, 40), 1));
  painter->setBrush(QColor(0, 0, 0, 70));
  painter->drawRect(plot.translated(kDepth));
  QLinearGradient wall(plot.topLeft(), plot.topLeft() + kDepth);
  wall.setColorAt(0, QColor(150, 150, 150, 190));
  wall.setColorAt(1, QColor(100, 100, 100, 190));
  painter->setBrush(wall);
  painter->drawPolygon(Extruded(plot.bottomLeft(), plot.topLeft()));
  painter->setBrush(QColor(120, 120, 120, 190));
  painter->drawPolygon(Extruded(plot.bottomLeft(), plot.bottomRight()));
}

// The top of every bar, and the side of a bar where its right neighbour is lower.
// A face is cut where a taller neighbour stands in front of it.
void TableChartView::drawForeground(QPainter* painter, const QRectF&) {
  if (!bars_->isVisible() || set_->count() != kTableSize) return;
  const qreal bottom = chart()->mapToPosition(QPointF(0, 0), bars_).y();
  auto front = [&](int i) {
    const QPointF topLeft = chart()->mapToPosition(QPointF(i - 0.5, set_->at(i)), bars_);
    const QPointF bottomRight = chart()->mapToPosition(QPointF(i + 0.5, 0), bars_);
    return QRectF(topLeft, QPointF(bottomRight.x(), bottom));
  };
  painter->setPen(QPen(kTeal.darker(200), 1));
  for (int i = 0; i < kTableSize; ++i) {
    const QRectF bar = front(i);
    QPainterPath top;
    top.addPolygon(Extruded(bar.topLeft(), bar.topRight()));
    top.closeSubpath();
    QPainterPath side;
    const qreal nextTop = i + 1 < kTableSize ? front(i + 1).top() : bottom;
    if (nextTop > bar.top()) {
      side.addPolygon(Extruded(QPointF(bar.right(), nextTop), bar.topRight()));
      side.closeSubpath();
    }
    if (i + 1 < kTableSize) {
      QPainterPath next;
      next.addRect(front(i + 1));
      top = top.subtracted(next);
    }
    painter->setBrush(QColor(60, 220, 220));
    painter->drawPath(top);
    painter->setBrush(QColor(0, 80, 80));
    painter->drawPath(side);
  }
}

void ShowTableInChart(QLineSeries* line, QBarSeries* bars, const TNoteTable& table) {
  QList<QPointF> points;
  QList<qreal> values;
  for (int i = 0; i < kTableSize; ++i) {
    points.append(QPointF(i, table[i]));
    values.append(table[i]);
  }
  line->clear();
  line->append(points);
  QBarSet* set = bars->barSets().value(0);
  set->remove(0, set->count());
  set->append(values);
}
