#include "support/tune_window_run.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "app/form1.h"
#include "support/simulated_rig.h"
#include "support/test_support.h"
#include "tune/pitch_meter.h"
#include "tune_ui/auto_tune_parts.h"
#include "tune_ui/auto_tune_window.h"

namespace testing_support {

void ExpectTuned(const TNoteTable& table, int base_note) {
  for (int i = 0; i < kTableSize; ++i) {
    const int dac = table[static_cast<std::size_t>(i)];
    const double target = 440 * std::exp2((base_note + i - 69) / 12.0);
    EXPECT_LE(std::fabs(tune::Cents(OscillatorHz(dac), target)),
              tune::Cents(OscillatorHz(dac + 1), OscillatorHz(dac)) / 2 + 2) << "entry " << i + 1;
  }
}

bool TuneFromWindow(TForm1& form, const QString& input, const char* what, const std::string& picture,
                    const std::function<void(tune_ui::AutoTuneWindow&, int)>& look) {
  const tune_ui::AutoTuneParts parts = tune_ui::PlatformAutoTuneParts();
  tune_ui::AutoTuneParts::Install(&parts);
  bool opened = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* window = dynamic_cast<tune_ui::AutoTuneWindow*>(QApplication::activeModalWidget());
    if (!window) return;
    poll.stop();
    opened = true;
    const int row = window->InputList->findData(input);
    EXPECT_GE(row, 0) << input.toStdString();
    if (look) look(*window, row);
    window->InputList->setCurrentIndex(row);
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(window->BtnStart, Qt::LeftButton);  // returns when the run has ended
    std::printf("%s: %.1f s\n", what,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_EQ(window->StatusLabel->text(), "Done: the tuned table is in the editor.")
        << window->MessageLabel->text().toStdString();
    window->grab().save(QString::fromStdString((ArtifactDir() / picture).string()));
    window->BtnCancel->click();
  });
  poll.start(10);
  QTest::mouseClick(form.BtnAutoTune, Qt::LeftButton);
  tune_ui::AutoTuneParts::Install(nullptr);
  return opened;
}

}  // namespace testing_support
