#pragma once

#include <memory>
#include <string>

#include "audio/audio_input.h"

namespace audio {

// ALSA PCM capture, at 48 kHz where the device allows; a thread reads it a
// period (10 ms) at a time into the buffer.
std::unique_ptr<AudioInput> OpenAlsaAudioInput(const std::string& name, std::string& why);

// Capture-capable PCM names from ALSA's device hints.
void AddAlsaCaptureDevices(std::vector<AudioDevice>& devices);

}  // namespace audio
