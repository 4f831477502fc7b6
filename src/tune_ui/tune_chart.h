#pragma once

#include <QWidget>
#include <optional>
#include <vector>

namespace tune_ui {

// Cents from the target per table entry, with the old table and with the tuned
// one, redrawn as a run measures them.
class TuneChart : public QWidget {
 public:
  struct Point {
    int entry = 0;  // 0..47
    std::optional<double> before, after;  // cents; none until measured
  };

  explicit TuneChart(QWidget* parent = nullptr);
  void SetPoints(int first, int last, std::vector<Point> points);
  const std::vector<Point>& Points() const { return points_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int first_ = 0, last_ = 47;
  std::vector<Point> points_;
};

}  // namespace tune_ui
