#include "app/about_picture.h"

#include <QPainter>
#include <QPainterPath>

namespace {

void DrawModule(QPainter& p, const QRect& r, const QColor& face, int knobs, int jacks) {
  p.setPen(QColor(20, 20, 20));
  p.setBrush(face);
  p.drawRect(r);
  p.setBrush(QColor(180, 180, 185));
  for (int y : {r.top() + 4, r.bottom() - 8}) {
    p.drawEllipse(QPoint(r.left() + 6, y + 2), 2, 2);
    p.drawEllipse(QPoint(r.right() - 6, y + 2), 2, 2);
  }
  const int cx = r.center().x();
  for (int i = 0; i < knobs; ++i) {
    const QPoint c(cx, r.top() + 40 + i * 46);
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(c, 14, 14);
    p.setPen(QPen(QColor(230, 230, 230), 2));
    p.drawLine(c, c + QPoint(8 - i * 4, -10 + i * 3));
    p.setPen(QColor(20, 20, 20));
  }
  for (int i = 0; i < jacks; ++i) {
    const QPoint c(r.left() + 14 + (i % 2) * (r.width() - 28), r.bottom() - 40 - (i / 2) * 28);
    p.setBrush(QColor(200, 200, 205));
    p.drawEllipse(c, 7, 7);
    p.setBrush(Qt::black);
    p.drawEllipse(c, 3, 3);
  }
}

void DrawCable(QPainter& p, QPoint a, QPoint b, const QColor& color) {
  QPainterPath path(a);
  const int sag = 60 + std::abs(a.x() - b.x()) / 3;
  path.cubicTo(a + QPoint(0, sag), b + QPoint(0, sag), b);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(color.darker(160), 6, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(path);
  p.setPen(QPen(color, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(path);
}

}  // namespace

AboutPicture::AboutPicture(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AboutPicture::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, 400);
  sky.setColorAt(0, QColor(18, 22, 40));
  sky.setColorAt(1, QColor(6, 8, 14));
  p.fillRect(rect(), sky);

  // rails of a modular case
  p.fillRect(QRect(20, 120, 460, 8), QColor(150, 150, 155));
  p.fillRect(QRect(20, 372, 460, 8), QColor(150, 150, 155));
  const QColor faces[] = {QColor(70, 72, 80), QColor(200, 195, 180), QColor(40, 60, 90),
                          QColor(90, 40, 40), QColor(60, 80, 60), QColor(70, 72, 80)};
  int x = 24;
  const int widths[] = {70, 90, 60, 80, 70, 82};
  for (int i = 0; i < 6; ++i) {
    DrawModule(p, QRect(x, 128, widths[i] - 4, 244), faces[i], 2 + i % 3, 2 + (i % 2) * 2);
    x += widths[i];
  }
  DrawCable(p, QPoint(38, 332), QPoint(180, 304), QColor(220, 60, 50));
  DrawCable(p, QPoint(136, 332), QPoint(338, 332), QColor(240, 190, 40));
  DrawCable(p, QPoint(252, 332), QPoint(448, 304), QColor(60, 160, 220));

  // The title, drawn in the disabled style: light text with a dark offset copy.
  QFont title("Arial");
  title.setPixelSize(48);
  title.setBold(true);
  p.setFont(title);
  const QRect titleRect(0, 16, 500, 60);
  p.setPen(QColor(255, 255, 255, 200));
  p.drawText(titleRect.translated(1, 1), Qt::AlignCenter, "TQX512 Config");
  p.setPen(QColor(128, 128, 128));
  p.drawText(titleRect, Qt::AlignCenter, "TQX512 Config");
  QFont subtitle("Arial");
  subtitle.setPixelSize(16);
  p.setFont(subtitle);
  p.setPen(QColor(160, 160, 160));
  p.drawText(QRect(0, 76, 500, 24), Qt::AlignCenter,
             "Editor for TQX512 MIDI to CV/Gate Interfaces");
}
