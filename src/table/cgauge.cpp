#include "table/cgauge.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

#include "ui/exception.h"

namespace {

// The framework's standard out-of-range text (it speaks French).
ERangeError OutOfRange(int low, int high) {
  return ERangeError(QStringLiteral(u"La valeur doit être comprise entre %1 et %2")
                         .arg(low)
                         .arg(high)
                         .toStdString());
}

QRect ToQRect(const TCGauge::TRect& r) {
  return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

QImage NewImage(const QSize& size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  return image;
}

// Bitwise XOR of the colour bits, as the raster operation of the original canvas
// did; alpha stays opaque.
void XorInto(QImage& target, const QImage& source) {
  const int rows = std::min(target.height(), source.height());
  const int columns = std::min(target.width(), source.width());
  for (int y = 0; y < rows; ++y) {
    auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
    const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    for (int x = 0; x < columns; ++x) out[x] ^= in[x] & 0x00FFFFFFu;
  }
}

}  // namespace

TCGauge::TCGauge(QWidget* parent) : QWidget(parent), FColor(palette().color(QPalette::Button)) {
  // Every pixel is painted, so nothing behind needs repainting first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(100, 100);
}

int TCGauge::GetPercentDone() const {
  const double span = static_cast<double>(FMaxValue) - FMinValue;
  if (span == 0) return 0;
  const double done = static_cast<double>(FCurValue) - FMinValue;
  return static_cast<int>(std::floor(done * 100 / span));
}

void TCGauge::SetProgress(int Value) {
  const int before = GetPercentDone();
  Value = std::clamp(Value, FMinValue, FMaxValue);
  if (Value == FCurValue) return;
  FCurValue = Value;
  if (GetPercentDone() != before) Refresh();
}

void TCGauge::AddProgress(int Value) {
  const long long sum = static_cast<long long>(FCurValue) + Value;
  FCurValue = static_cast<int>(std::clamp<long long>(sum, FMinValue, FMaxValue));
  Refresh();
}

void TCGauge::SetMinValue(int Value) {
  if (Value == FMinValue) return;
  if (Value > FMaxValue) throw OutOfRange(-INT_MAX, FMaxValue - 1);
  FMinValue = Value;
  if (FCurValue < Value) FCurValue = Value;
  Refresh();
}

void TCGauge::SetMaxValue(int Value) {
  if (Value == FMaxValue) return;
  if (Value < FMinValue) throw OutOfRange(FMinValue + 1, INT_MAX);
  FMaxValue = Value;
  if (FCurValue > Value) FCurValue = Value;
  Refresh();
}

void TCGauge::SeTCGaugeKind(TCGaugeKind Value) {
  if (Value == FKind) return;
  FKind = Value;
  Refresh();
}

void TCGauge::SetShowText(bool Value) {
  if (Value == FShowText) return;
  FShowText = Value;
  Refresh();
}

void TCGauge::SetBorderStyle(TGaugeBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  Refresh();
}

void TCGauge::SetForeColor(const QColor& Value) {
  if (Value == FForeColor) return;
  FForeColor = Value;
  Refresh();
}

void TCGauge::SetBackColor(const QColor& Value) {
  if (Value == FBackColor) return;
  FBackColor = Value;
  Refresh();
}

void TCGauge::SetColor(const QColor& Value) {
  if (Value == FColor) return;
  FColor = Value;
  update();
}

// Immediate repaint: the caller may keep the event loop waiting for seconds.
void TCGauge::Refresh() { repaint(); }

void TCGauge::paintEvent(QPaintEvent*) { Paint(); }

void TCGauge::Paint() {
  QImage image = NewImage(size());
  PaintBackground(image);
  TRect paintRect{0, 0, width(), height()};
  if (FBorderStyle == bsSingle) paintRect = {1, 1, width() - 1, height() - 1};

  QImage overlay(size(), QImage::Format_RGB32);
  overlay.fill(palette().color(QPalette::WindowText));
  PaintBackground(overlay);
  switch (FKind) {
    case gkText: PaintAsNothing(overlay, paintRect); break;
    case gkHorizontalBar:
    case gkVerticalBar: PaintAsBar(overlay, paintRect); break;
    case gkPie: PaintAsPie(overlay, paintRect); break;
    case gkNeedle: PaintAsNeedle(overlay, paintRect); break;
  }
  XorInto(image, overlay);
  if (FShowText) PaintAsText(image, paintRect);

  QPainter(this).drawImage(0, 0, image);
}

void TCGauge::PaintBackground(QImage& AnImage) const { AnImage.fill(Qt::black); }

void TCGauge::PaintAsNothing(QImage& AnImage, const TRect& PaintRect) const {
  QPainter(&AnImage).fillRect(ToQRect(PaintRect), FBackColor);
}

void TCGauge::PaintAsBar(QImage& AnImage, const TRect& PaintRect) const {
  const int percent = GetPercentDone();
  const int w = PaintRect.Right - PaintRect.Left + 1;
  const int h = PaintRect.Bottom - PaintRect.Top + 1;
  QPainter painter(&AnImage);
  painter.fillRect(ToQRect(PaintRect), FBackColor);
  if (FKind == gkHorizontalBar) {
    const int filled = std::min(percent * w / 100, w);
    if (filled > 0)
      painter.fillRect(ToQRect({PaintRect.Left, PaintRect.Top, filled, h}), FForeColor);
  } else {
    int filled = percent * h / 100;
    if (filled >= h) filled = h - 1;
    painter.fillRect(ToQRect({PaintRect.Left, h - filled, w, h}), FForeColor);
  }
}

void TCGauge::PaintAsPie(QImage& AnImage, const TRect& PaintRect) const {
  const QRect r = ToQRect(PaintRect);
  QPainter painter(&AnImage);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(r, FColor);
  const QRect dial = r.adjusted(0, 0, -1, -1);
  painter.setPen(FBackColor);
  painter.setBrush(FBackColor);
  painter.drawEllipse(dial);
  const int percent = GetPercentDone();
  if (percent > 0) {
    painter.setPen(FForeColor);
    painter.setBrush(FForeColor);
    // Clockwise from twelve o'clock; Qt counts angles in 1/16 degree.
    painter.drawPie(dial, 90 * 16, -percent * 360 * 16 / 100);
  }
}

void TCGauge::PaintAsNeedle(QImage& AnImage, const TRect& PaintRect) const {
  const QRect r = ToQRect(PaintRect);
  QPainter painter(&AnImage);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(r, FColor);
  // A half dial standing on the bottom edge, the needle turning from left to right.
  const QRectF dial(r.left(), r.top(), r.width() - 1, 2.0 * (r.height() - 1));
  painter.setPen(FBackColor);
  painter.setBrush(FBackColor);
  painter.drawPie(dial, 0, 180 * 16);
  const QPointF centre(dial.center().x(), r.top() + r.height() - 1);
  const double angle = std::numbers::pi * (1.0 - GetPercentDone() / 100.0);
  const QPointF tip(centre.x() + std::cos(angle) * dial.width() / 2,
                    centre.y() - std::sin(angle) * dial.height() / 2);
  painter.setPen(QPen(FForeColor, 1));
  painter.drawLine(centre, tip);
}

void TCGauge::PaintAsText(QImage& AnImage, const TRect& PaintRect) const {
  const QString text = QString::number(GetPercentDone()) + "%";
  QImage overlay = NewImage(AnImage.size());
  // Plain pixels, so that the XOR gives exact inverse colours and no fringes.
  QFont textFont = font();
  textFont.setStyleStrategy(QFont::NoAntialias);
  const QFontMetrics metrics(textFont);
  const int x = (PaintRect.Right - PaintRect.Left + 1 - metrics.horizontalAdvance(text)) / 2;
  const int y = (PaintRect.Bottom - PaintRect.Top + 1 - metrics.height()) / 2;
  {
    QPainter painter(&overlay);
    painter.setFont(textFont);
    painter.setPen(Qt::white);
    painter.setBrush(Qt::NoBrush);
    painter.setClipRect(ToQRect(PaintRect));
    painter.drawText(x, y + metrics.ascent(), text);
  }
  XorInto(AnImage, overlay);
}
