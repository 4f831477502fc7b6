#include "tune_ui/tune_chart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace tune_ui {

namespace {

const QColor kBefore(220, 120, 40);
const QColor kAfter(30, 110, 200);

// The smallest of 10, 25, 50, 100, 200 ... cents that holds every value.
double Scale(const std::vector<TuneChart::Point>& points) {
  double largest = 0;
  for (const TuneChart::Point& p : points)
    for (const std::optional<double>& c : {p.before, p.after})
      if (c) largest = std::max(largest, std::fabs(*c));
  for (double scale : {10.0, 25.0, 50.0, 100.0})
    if (largest <= scale) return scale;
  return 100 * std::ceil(largest / 100);
}

}  // namespace

TuneChart::TuneChart(QWidget* parent) : QWidget(parent) {
  setMinimumSize(560, 220);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
}

void TuneChart::SetPoints(int first, int last, std::vector<Point> points) {
  first_ = first;
  last_ = std::max(first, last);
  points_ = std::move(points);
  update();
}

void TuneChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics metrics = painter.fontMetrics();
  const QRectF plot = QRectF(rect()).adjusted(metrics.horizontalAdvance("-100.0") + 8, metrics.height() + 6,
                                              -10, -metrics.height() - 8);
  const double scale = Scale(points_);
  const int span = std::max(1, last_ - first_);
  auto x = [&](int entry) { return plot.left() + plot.width() * (entry - first_) / span; };
  auto y = [&](double cents) { return plot.center().y() - plot.height() / 2 * std::clamp(cents / scale, -1.0, 1.0); };

  painter.setPen(Qt::black);
  painter.drawText(QPointF(4, metrics.ascent() + 2), QStringLiteral("Cents from target"));
  for (double cents : {-scale, -scale / 2, 0.0, scale / 2, scale}) {
    painter.setPen(QPen(cents == 0 ? Qt::darkGray : Qt::lightGray, 1));
    painter.drawLine(QPointF(plot.left(), y(cents)), QPointF(plot.right(), y(cents)));
    painter.setPen(Qt::black);
    const QString label = QString::number(cents, 'g', 4);
    painter.drawText(QPointF(plot.left() - metrics.horizontalAdvance(label) - 4, y(cents) + metrics.ascent() / 2.0),
                     label);
  }
  const int step = span > 24 ? 6 : span > 8 ? 2 : 1;
  for (int entry = first_; entry <= last_; entry += step) {
    const QString label = QString::number(entry + 1);
    painter.drawText(QPointF(x(entry) - metrics.horizontalAdvance(label) / 2.0, plot.bottom() + metrics.ascent() + 4),
                     label);
  }

  auto series = [&](std::optional<double> Point::*value, const QColor& color) {
    QPainterPath line;
    bool open = false;
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (const Point& p : points_) {
      if (!(p.*value)) {
        open = false;
        continue;
      }
      const QPointF at(x(p.entry), y(*(p.*value)));
      if (open) line.lineTo(at);
      else line.moveTo(at);
      open = true;
      painter.drawEllipse(at, 2.5, 2.5);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, 1.5));
    painter.drawPath(line);
  };
  series(&Point::before, kBefore);
  series(&Point::after, kAfter);

  // The legend, top right.
  double right = width() - 10;
  for (auto [text, color] : {std::pair{QStringLiteral("tuned"), kAfter}, std::pair{QStringLiteral("old table"), kBefore}}) {
    const double w = metrics.horizontalAdvance(text);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(right - w, metrics.ascent() + 2), text);
    painter.setPen(QPen(color, 3));
    painter.drawLine(QPointF(right - w - 22, metrics.height() / 2.0 + 2), QPointF(right - w - 6, metrics.height() / 2.0 + 2));
    right -= w + 40;
  }
}

}  // namespace tune_ui
