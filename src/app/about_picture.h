#pragma once

#include <QWidget>

// The 500 x 400 picture of the "About..." tab: a rack of synthesizer modules with
// patch cables, and the title over it. Painted when shown; reacts to nothing.
class AboutPicture : public QWidget {
 public:
  explicit AboutPicture(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
