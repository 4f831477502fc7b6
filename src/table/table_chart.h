#pragma once

#include <QChartView>
#include <QImage>

#include "table/note_table.h"

class QBarSeries;
class QBarSet;
class QLineSeries;

// The chart of the "Table" tab: the note table as teal bars or as an aqua line
// over a fixed 0..255 scale, with no horizontal axis, legend or title. The view
// paints a dark picture of synthesizer modules behind the chart, grey walls and
// the tops and sides of the bars, to suggest depth.
class TableChartView : public QChartView {
 public:
  explicit TableChartView(QWidget* parent = nullptr);

  QLineSeries* LineSeries() const { return line_; }  // hidden at start
  QBarSeries* BarSeries() const { return bars_; }  // shown at start

 protected:
  void drawBackground(QPainter* painter, const QRectF& rect) override;
  void drawForeground(QPainter* painter, const QRectF& rect) override;

 private:
  QLineSeries* line_;
  QBarSeries* bars_;
  QBarSet* set_;
  QImage backdrop_;
};

// Rebuilds both series from the table, entry 0 first.
void ShowTableInChart(QLineSeries* line, QBarSeries* bars, const TNoteTable& table);
