#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_input.h"
#include "tune/tuning_run.h"

class TMidiOutput;

namespace tune_ui {

// What the auto-tune window takes from outside: the audio service's inputs and
// the rig a run goes through. The editor installs the platform's at start-up;
// tests install stand-ins, so no window test needs a sound card.
struct AutoTuneParts {
  std::function<std::vector<audio::AudioDevice>()> listInputs;
  // Null when the input cannot be opened; why then says what failed.
  std::function<std::unique_ptr<audio::AudioInput>(const std::string& name, std::string& why)> openInput;
  std::function<std::unique_ptr<tune::TuningRig>(TMidiOutput& port, audio::AudioInput& input)> makeRig;

  // The installed parts; until then, none: no input, and every open fails.
  static const AutoTuneParts& Current();
  // Not owned; nullptr restores none.
  static void Install(const AutoTuneParts* parts);
};

// A MidiTuningRig: the run on the editor's MIDI output and the chosen input.
std::unique_ptr<tune::TuningRig> MakeMidiRig(TMidiOutput& port, audio::AudioInput& input);
// ALSA PCM and JACK inputs, and MakeMidiRig.
AutoTuneParts PlatformAutoTuneParts();

}  // namespace tune_ui
