#include "ui/track_bar.h"

#include <algorithm>

#include "ui/user_handler.h"

TTrackBar::TTrackBar(Qt::Orientation orientation, QWidget* parent, int min, int max,
                     int position)
    : QSlider(orientation, parent) {
  setRange(min, max);
  setValue(position);
  connect(this, &QSlider::valueChanged, this, [this] {
    if (!OnChange) return;
    if (codeChanges_ > 0)
      OnChange(this);
    else
      ui::RunUserHandler([this] { OnChange(this); });
  });
}

void TTrackBar::SetPosition(int position) {
  position = std::clamp(position, minimum(), maximum());
  if (position == value()) return;
  ++codeChanges_;
  struct Done {
    int& count;
    ~Done() { --count; }
  } done{codeChanges_};
  setValue(position);
}
