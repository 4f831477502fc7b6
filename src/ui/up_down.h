#pragma once

#include <QWidget>

#include "ui/tobject.h"

class QToolButton;
class TEdit;

// Two arrow buttons attached to one edit box, holding a position within Min..Max
// that the edit box shows in decimal.
// - SetPosition (code) clamps, runs OnChanging when the position differs, never OnClick.
// - A user's step (arrow button, or the Up/Down key in the edit box) moves the
//   position, then runs OnClick.
// - A number typed into the edit box moves the position (clamped) and runs neither
//   OnChanging nor OnClick.
class TUpDown : public QWidget, public TObject {
 public:
  TUpDown(QWidget* parent, int min, int max, int position);

  // Attaches to the edit box and stands at its right edge.
  void Associate(TEdit* edit);
  TEdit* Associate() const { return edit_; }

  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetPosition(int position);

  // What a click on an arrow does: +1 up, -1 down.
  void Step(int delta);

  TUDChangingEvent OnChanging;
  TNotifyEvent OnClick;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool MoveTo(int position);  // false when unchanged or refused by OnChanging
  void ShowPosition();
  void TextTyped(const QString& text);

  QToolButton* up_;
  QToolButton* down_;
  TEdit* edit_ = nullptr;
  int min_;
  int max_;
  short position_;
};
