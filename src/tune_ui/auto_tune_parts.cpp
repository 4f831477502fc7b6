#include "tune_ui/auto_tune_parts.h"

#include "tune/midi_tuning_rig.h"

namespace tune_ui {

std::unique_ptr<tune::TuningRig> MakeMidiRig(TMidiOutput& port, audio::AudioInput& input) {
  return std::make_unique<tune::MidiTuningRig>(port, input);
}

namespace {

const AutoTuneParts none{
    [] { return std::vector<audio::AudioDevice>{}; },
    [](const std::string&, std::string& why) {
      why = "no audio service";
      return std::unique_ptr<audio::AudioInput>{};
    },
    MakeMidiRig};

const AutoTuneParts* current = nullptr;

}  // namespace

const AutoTuneParts& AutoTuneParts::Current() { return current ? *current : none; }

void AutoTuneParts::Install(const AutoTuneParts* parts) { current = parts; }

}  // namespace tune_ui
