#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/audio_input.h"

namespace audio {

// Windows' waveIn capture at 48 kHz, 16-bit mono (Windows converts from what the
// device gives); "default" is the sound mapper, any other name a device's own.
std::unique_ptr<AudioInput> OpenWaveInAudioInput(const std::string& name, std::string& why);

// The capture devices by their names.
void AddWaveInCaptureDevices(std::vector<AudioDevice>& devices);

}  // namespace audio
