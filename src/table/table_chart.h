#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>
#include <vector>

#include "table/note_table.h"
#include "ui/tobject.h"

// One way of showing the note table in the chart: its values, entry 0 first, and
// whether it is shown.
class TChartSeries : public TObject {
 public:
  const std::vector<double>& values() const { return values_; }
  void setValues(std::vector<double> values);
  bool isVisible() const { return visible_; }
  void setVisible(bool visible);

  // After every change of values or visibility; the chart repaints.
  TNotifyEvent OnChange;

 private:
  std::vector<double> values_;
  bool visible_ = true;
};

// The chart of the "Table" tab: the note table as teal bars or as an aqua line
// over a fixed 0..255 scale, with no horizontal axis, legend or title. Behind the
// chart lies a dark picture of synthesizer modules; grey walls and the tops and
// sides of the bars suggest depth.
class TableChartView : public QWidget {
 public:
  explicit TableChartView(QWidget* parent = nullptr);

  TChartSeries* LineSeries() { return &line_; }  // hidden at start
  TChartSeries* BarSeries() { return &bars_; }  // shown at start

  // Where a value of a note is drawn, in the widget: the middle of its bar across,
  // the value's height on the scale.
  QPointF MapToPosition(double note, double value) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRectF PlotArea() const;
  QRectF Bar(int note) const;
  void DrawWalls(QPainter& painter) const;
  void DrawScale(QPainter& painter) const;
  void DrawBars(QPainter& painter) const;
  void DrawBarTops(QPainter& painter) const;
  void DrawLine(QPainter& painter) const;

  TChartSeries line_;
  TChartSeries bars_;
  QFont labelFont_;
  QSizeF label_;  // room for one label of the scale
  QImage backdrop_;
};

// Rebuilds both series from the table, entry 0 first.
void ShowTableInChart(TChartSeries* line, TChartSeries* bars, const TNoteTable& table);
