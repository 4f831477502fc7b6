#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include "ui/tobject.h"

enum TCGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TGaugeBorderStyle { bsNone, bsSingle };

// A gauge that shows how far Progress has moved between MinValue and MaxValue, as
// a bar with the percentage written across it. A full transfer keeps the GUI
// thread busy, so the gauge repaints itself at once whenever its shown percentage
// changes instead of waiting for a paint event.
class TCGauge : public QWidget, public TObject {
 public:
  explicit TCGauge(QWidget* parent = nullptr);

  // A rectangle as the paint routines see it: right and bottom exclusive.
  struct TRect {
    int Left, Top, Right, Bottom;
  };

  TCGaugeKind Kind() const { return FKind; }
  bool ShowText() const { return FShowText; }
  TGaugeBorderStyle BorderStyle() const { return FBorderStyle; }
  QColor ForeColor() const { return FForeColor; }
  QColor BackColor() const { return FBackColor; }
  // Background of the pie and needle kinds only.
  QColor Color() const { return FColor; }
  int MinValue() const { return FMinValue; }
  int MaxValue() const { return FMaxValue; }
  int Progress() const { return FCurValue; }

  int GetPercentDone() const;
  // Clamps to MinValue..MaxValue; repaints only when the whole percentage changes.
  void SetProgress(int Value);
  // Clamps like SetProgress, then repaints in any case.
  void AddProgress(int Value);
  // Bounds that would cross each other raise ERangeError and change nothing.
  void SetMinValue(int Value);
  void SetMaxValue(int Value);
  void SeTCGaugeKind(TCGaugeKind Value);
  void SetShowText(bool Value);
  void SetBorderStyle(TGaugeBorderStyle Value);
  void SetForeColor(const QColor& Value);
  void SetBackColor(const QColor& Value);
  void SetColor(const QColor& Value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void Paint();

 private:
  void Refresh();
  void PaintBackground(QImage& AnImage) const;
  void PaintAsText(QImage& AnImage, const TRect& PaintRect) const;
  void PaintAsNothing(QImage& AnImage, const TRect& PaintRect) const;
  void PaintAsBar(QImage& AnImage, const TRect& PaintRect) const;
  void PaintAsPie(QImage& AnImage, const TRect& PaintRect) const;
  void PaintAsNeedle(QImage& AnImage, const TRect& PaintRect) const;

  int FMinValue = 0;
  int FMaxValue = 100;
  int FCurValue = 0;
  TCGaugeKind FKind = gkHorizontalBar;
  bool FShowText = true;
  TGaugeBorderStyle FBorderStyle = bsSingle;
  QColor FForeColor = Qt::black;
  QColor FBackColor = Qt::white;
  QColor FColor;
};
