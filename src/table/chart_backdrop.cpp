#include "table/chart_backdrop.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

// A fixed sequence, so the picture is the same on every run.
class Dice {
 public:
  int Roll(int n) {
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<int>((state_ >> 16) % static_cast<uint32_t>(n));
  }

 private:
  uint32_t state_ = 20240601u;
};

void DrawKnob(QPainter& p, QPointF c, qreal r, int angle) {
  QRadialGradient cap(c - QPointF(r / 3, r / 3), r * 1.4);
  cap.setColorAt(0, QColor(95, 95, 100));
  cap.setColorAt(1, QColor(18, 18, 20));
  p.setPen(QPen(QColor(8, 8, 8), 1));
  p.setBrush(cap);
  p.drawEllipse(c, r, r);
  const qreal a = (225 - angle) * std::numbers::pi / 180;
  p.setPen(QPen(QColor(200, 200, 190), std::max<qreal>(1, r / 6), Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, c + QPointF(std::cos(a) * r * 0.8, -std::sin(a) * r * 0.8));
}

void DrawJack(QPainter& p, QPointF c, qreal r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(150, 150, 150));
  p.drawEllipse(c, r, r);
  p.setBrush(QColor(5, 5, 5));
  p.drawEllipse(c, r * 0.55, r * 0.55);
}

void DrawModule(QPainter& p, const QRectF& r, qreal unit, Dice& dice) {
  static const QColor kFaces[] = {QColor(46, 46, 50), QColor(84, 80, 70), QColor(36, 40, 52),
                                  QColor(66, 34, 32), QColor(40, 50, 38), QColor(90, 90, 92)};
  const QColor face = kFaces[dice.Roll(6)];
  QLinearGradient shade(r.topLeft(), r.topRight());
  shade.setColorAt(0, face.lighter(115));
  shade.setColorAt(1, face.darker(130));
  p.setPen(QPen(QColor(10, 10, 10), 1));
  p.setBrush(shade);
  p.drawRect(r);
  p.setBrush(QColor(170, 170, 175));
  p.setPen(Qt::NoPen);
  for (qreal y : {r.top() + unit * 0.5, r.bottom() - unit * 0.5}) {
    p.drawEllipse(QPointF(r.left() + unit * 0.5, y), unit * 0.18, unit * 0.18);
  }

  const int columns = std::max(1, static_cast<int>(r.width() / (unit * 2.2)));
  const qreal step = r.width() / columns;
  qreal y = r.top() + unit * 1.8;
  const int knobRows = 1 + dice.Roll(3);
  for (int row = 0; row < knobRows && y < r.bottom() - unit * 3; ++row, y += unit * 2.2)
    for (int c = 0; c < columns; ++c)
      DrawKnob(p, QPointF(r.left() + step * (c + 0.5), y), unit * (0.6 + 0.1 * dice.Roll(3)),
               dice.Roll(270));
  // A row of small lights, most of them off.
  for (int c = 0; c < columns; ++c) {
    const bool lit = dice.Roll(3) == 0;
    p.setBrush(lit ? QColor(230, 60, 40) : QColor(60, 20, 20));
    p.drawEllipse(QPointF(r.left() + step * (c + 0.5), y - unit * 0.6), unit * 0.15,
                  unit * 0.15);
  }
  for (qreal jy = r.bottom() - unit * 1.2; jy > y; jy -= unit * 1.4)
    for (int c = 0; c < columns; ++c)
      DrawJack(p, QPointF(r.left() + step * (c + 0.5), jy), unit * 0.38);
}

void DrawCable(QPainter& p, QPointF a, QPointF b, qreal sag, const QColor& color, qreal width) {
  QPainterPath path(a);
  path.cubicTo(a + QPointF(0, sag), b + QPointF(0, sag), b);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(color.darker(200), width + 2, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(path);
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(path);
}

}  // namespace

QImage ChartBackdrop(const QSize& size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = size.width();
  const qreal h = size.height();
  p.fillRect(image.rect(), QColor(10, 10, 12));

  // Two rows of modules between rails, as in a modular case.
  const qreal rail = h * 0.035;
  const qreal rowHeight = (h - 3 * rail) / 2;
  const qreal unit = std::max<qreal>(4, rowHeight / 11);
  Dice dice;
  QList<QPointF> jacks;
  for (int row = 0; row < 2; ++row) {
    const qreal top = rail + row * (rowHeight + rail);
    p.fillRect(QRectF(0, top - rail, w, rail), QColor(70, 70, 74));
    for (qreal x = 0; x < w;) {
      const qreal width = unit * (3 + 2 * dice.Roll(4));
      DrawModule(p, QRectF(x, top, width - 1, rowHeight), unit, dice);
      jacks.append(QPointF(x + width / 2, top + rowHeight - unit * 1.2));
      x += width;
    }
  }
  p.fillRect(QRectF(0, h - rail, w, rail), QColor(70, 70, 74));

  static const QColor kCables[] = {QColor(200, 50, 40), QColor(220, 170, 40),
                                   QColor(150, 60, 170), QColor(230, 110, 30)};
  for (int i = 0; i + 3 < jacks.size(); i += 3) {
    const QPointF a = jacks[i];
    const QPointF b = jacks[(i + 5 + dice.Roll(7)) % jacks.size()];
    DrawCable(p, a, b, unit * (3 + dice.Roll(5)), kCables[dice.Roll(4)], unit * 0.35);
  }

  // Dim it all, darker toward the edges, like a photograph taken in a dark studio.
  p.fillRect(image.rect(), QColor(0, 0, 0, 110));
  QRadialGradient vignette(QPointF(w / 2, h / 2), std::hypot(w, h) / 2);
  vignette.setColorAt(0, QColor(0, 0, 0, 0));
  vignette.setColorAt(1, QColor(0, 0, 0, 170));
  p.fillRect(image.rect(), vignette);
  return image;
}
