#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/audio_input.h"

namespace audio {

// A JACK audio input port of our own, connected to `port` (another client's
// output); never starts a server.
std::unique_ptr<AudioInput> OpenJackAudioInput(const std::string& port, std::string& why);

// Audio output ports of the running JACK server's clients, as "jack:<port>".
void AddJackCaptureDevices(std::vector<AudioDevice>& devices);

}  // namespace audio
