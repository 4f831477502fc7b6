#include "app/button_glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void Folder(QPainter& p) {
  p.setPen(QColor(120, 90, 20));
  p.setBrush(QColor(240, 200, 80));
  p.drawRect(2, 7, 18, 13);
  p.drawRect(2, 5, 7, 3);
  p.setBrush(QColor(250, 220, 120));
  QPolygon lid({QPoint(5, 11), QPoint(22, 11), QPoint(19, 20), QPoint(2, 20)});
  p.drawPolygon(lid);
}

void Floppy(QPainter& p, const QColor& body) {
  p.setPen(Qt::black);
  p.setBrush(body);
  p.drawRect(3, 3, 18, 18);
  p.setBrush(Qt::white);
  p.drawRect(6, 3, 12, 7);
  p.setBrush(QColor(60, 60, 60));
  p.drawRect(7, 14, 10, 7);
}

void Arrow(QPainter& p, const QColor& color) {
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  QPolygon arrow({QPoint(2, 9), QPoint(12, 9), QPoint(12, 4), QPoint(21, 12), QPoint(12, 20),
                  QPoint(12, 15), QPoint(2, 15)});
  p.drawPolygon(arrow);
}

void DinSocket(QPainter& p) {
  p.setPen(QPen(Qt::black, 1.5));
  p.setBrush(QColor(40, 40, 40));
  p.drawEllipse(QPointF(17, 17), 6, 6);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  for (QPointF pin : {QPointF(13.5, 17), QPointF(20.5, 17), QPointF(17, 13.5),
                      QPointF(14.5, 14.5), QPointF(19.5, 14.5)})
    p.drawEllipse(pin, 0.9, 0.9);
}

void Draw(QPainter& p, Glyph glyph) {
  switch (glyph) {
    case Glyph::OpenConfig:
    case Glyph::OpenTable:
      Folder(p);
      break;
    case Glyph::SaveConfig:
    case Glyph::SaveTable:
      Floppy(p, QColor(40, 80, 170));
      break;
    case Glyph::SaveSysex:
      Floppy(p, QColor(150, 40, 40));
      p.setPen(Qt::black);
      p.setFont(QFont("DejaVu Sans", 5, QFont::Bold));
      p.drawText(QRect(6, 3, 12, 7), Qt::AlignCenter, "SX");
      break;
    case Glyph::WriteFlash: {
      p.setPen(QColor(120, 60, 0));
      p.setBrush(QColor(255, 200, 0));
      QPolygon bolt({QPoint(13, 1), QPoint(5, 13), QPoint(11, 13), QPoint(8, 23),
                     QPoint(19, 9), QPoint(13, 9), QPoint(16, 1)});
      p.drawPolygon(bolt);
      break;
    }
    case Glyph::SendConfig:
      Arrow(p, QColor(30, 140, 60));
      DinSocket(p);
      break;
    case Glyph::SendTable:
      Arrow(p, QColor(0, 150, 160));
      DinSocket(p);
      break;
    case Glyph::NewTable:
      p.setPen(Qt::black);
      p.setBrush(Qt::white);
      p.drawRect(5, 2, 14, 20);
      p.setPen(QColor(0, 140, 160));
      for (int x = 7; x <= 17; x += 3) p.drawLine(x, 20, x, 20 - (x - 5));
      break;
    case Glyph::Generator:
      p.setPen(QPen(QColor(0, 140, 160), 2));
      p.drawLine(3, 20, 21, 4);
      p.setPen(Qt::black);
      p.drawLine(2, 21, 22, 21);
      p.drawLine(2, 21, 2, 2);
      break;
    case Glyph::View3D: {
      p.setPen(Qt::black);
      p.setBrush(QColor(0, 170, 180));
      p.drawRect(3, 9, 12, 12);
      p.setBrush(QColor(120, 220, 230));
      p.drawPolygon(QPolygon({QPoint(3, 9), QPoint(9, 3), QPoint(21, 3), QPoint(15, 9)}));
      p.setBrush(QColor(0, 110, 120));
      p.drawPolygon(QPolygon({QPoint(15, 9), QPoint(21, 3), QPoint(21, 15), QPoint(15, 21)}));
      break;
    }
  }
}

}  // namespace

QIcon ButtonGlyph(Glyph glyph) {
  QPixmap pixmap(24, 24);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  Draw(painter, glyph);
  painter.end();
  return QIcon(pixmap);
}
