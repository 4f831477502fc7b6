#include "support/jack_oscillator.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cmath>

#include "protocol/parameter_map.h"

namespace testing_support {

JackOscillator::JackOscillator(const std::string& name) {
  jack_status_t status{};
  client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!client_) {
    why_ = "cannot open JACK client " + name;
    return;
  }
  rate_ = jack_get_sample_rate(client_);
  midi_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE,
                             JackPortIsInput | JackPortIsPhysical | JackPortIsTerminal, 0);
  out_ = jack_port_register(client_, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client_, &JackOscillator::Process, this);
  if (!midi_ || !out_ || jack_activate(client_) != 0) why_ = "cannot start JACK client " + name;
}

JackOscillator::~JackOscillator() { Close(); }

void JackOscillator::Close() {
  if (client_) jack_client_close(client_);
  client_ = nullptr;
}

std::string JackOscillator::MidiInput() const { return client_ ? jack_port_name(midi_) : ""; }
std::string JackOscillator::AudioOutput() const { return client_ ? jack_port_name(out_) : ""; }

int JackOscillator::Process(unsigned frames, void* arg) {
  auto* self = static_cast<JackOscillator*>(arg);
  void* midi = jack_port_get_buffer(self->midi_, frames);
  for (uint32_t i = 0, n = jack_midi_get_event_count(midi); i < n; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, midi, i) == 0) self->model_.Receive(event.buffer, event.size);
  }
  auto* out = static_cast<float*>(jack_port_get_buffer(self->out_, frames));
  double hz = self->model_.Pitch();
  // Warming up: half a cent a minute, a cent at most, within the 2 cents a
  // test allows however long a slow machine takes.
  hz *= std::exp2(std::min(1.0, 0.5 * self->seconds_ / 60) / 1200);
  for (unsigned i = 0; i < frames; ++i) {
    self->noise_ = self->noise_ * 1664525u + 1013904223u;
    const float hiss = static_cast<float>((self->noise_ >> 8) / 16777216.0 - 0.5) * 0.0004f;
    out[i] = (self->model_.Holding() ? static_cast<float>(0.4 * (2 * self->phase_ - 1)) : 0.0f) + hiss;
    self->phase_ += hz / self->rate_;
    self->phase_ -= std::floor(self->phase_);
  }
  self->seconds_ += frames / self->rate_;
  return 0;
}

}  // namespace testing_support
