#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "protocol/pacing_clock.h"
#include "ui/dialogs.h"

class TForm1;
class VirtualMidiBackend;

namespace testing_support {

// A pacing clock whose every reading lies an hour after the previous one, so each
// 100 ms wait ends at once.
class InstantClock : public PacingClock {
 public:
  std::chrono::nanoseconds Now() override { return now_ += std::chrono::hours(1); }

 private:
  std::chrono::nanoseconds now_{0};
};

// The editor as the user starts it, on a virtual MIDI service with one output port
// (device 0, a MIDI port) and one input: the main window shown, the progress
// window and table generator created, MidiOutput1 open on device 0, message boxes
// recorded, pacing waits instant and settings kept in a private folder.
// The editor's three windows made in the order of start-up, the main one shown;
// and closed again. The MIDI service must be installed first.
TForm1* StartEditorWindows();
void CloseEditorWindows();

class EditorFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Every message sent to the output device since the start or the last
  // ClearSent, as the wire has it: "F0 70 7B 00 29 05 0A F7".
  std::vector<std::string> SentHex();
  void ClearSent();

  TForm1* form = nullptr;
  VirtualMidiBackend* midi = nullptr;
  std::unique_ptr<ui::ScriptedDialogs> dialogs;
  InstantClock clock;

 private:
  QTemporaryDir settingsDir_;
  size_t seen_ = 0;
};

}  // namespace testing_support
