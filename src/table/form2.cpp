#include "table/form2.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWindow>

#include "app/form1.h"
#include "ui/event_hold.h"

TForm2* Form2 = nullptr;

namespace {
// Long enough for a window manager to map the window, short enough that a
// display that never exposes it does not hold up the transfer.
constexpr int kExposeWaitMs = 1000;
}  // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle("Send Datas to MIDI");
  setFixedSize(293, 21);

  CGauge1 = new TCGauge(this);
  CGauge1->setGeometry(rect());
  CGauge1->SetColor(QColor(0xC0, 0xC0, 0xC0));
  CGauge1->SetForeColor(QColor(0x00, 0xFF, 0xFF));
  CGauge1->SetBackColor(QColor(0xC0, 0xC0, 0xC0));
  CGauge1->SetMaxValue(47);
}

void TForm2::Show() {
  if (Form1) {
    QRect area = geometry();
    area.moveCenter(Form1->frameGeometry().center());
    move(area.topLeft());
  }
  show();
  // The loop runs for this window alone: no tick, input, close request or done
  // notice may run while a transfer is about to start.
  const ui::EventHold hold(this);
  // Asleep until the window system answers, not spinning: a spinning thread at
  // real-time priority could hold off the window manager that maps the window.
  // The bound's tick is this window's own, so the hold lets it through.
  QTimer bound(this);
  bound.setSingleShot(true);
  bound.start(kExposeWaitMs);
  while (windowHandle() && !windowHandle()->isExposed() && bound.isActive())
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
  repaint();
}

void TForm2::Close() { hide(); }
