#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/parameter_message.h"
#include "table/note_table.h"

namespace tune {

// What a tuning run needs from outside: the interface's MIDI port and the
// audio input the oscillator is patched to.
class TuningRig {
 public:
  virtual ~TuningRig() = default;
  // One parameter message and the pacing wait after it; throws when the port fails.
  virtual void SendParameter(const ParameterMessage& message) = 0;
  // A note on or off, at once.
  virtual void SendShort(std::uint32_t message) = 0;
  // The next `seconds` of the input, mono, from now.
  virtual std::vector<float> Record(double seconds) = 0;
  virtual double SampleRate() const = 0;
};

enum class Reference { BaseNote, A4, Current };

struct TuningSetup {
  int device_id = 1;  // 1..128
  int channel = 1;    // 1..16
  int base_note = 24;
  Reference reference = Reference::A4;
  double reference_hz = 440;  // the base note's pitch, or A4's; unused for Current
  int first = 0, last = kTableSize - 1;  // table entries to tune
  // What the interface holds now, sent back whatever ends the run (unless not
  // known: the tool may not be told the interface's configuration or table).
  bool restore_config = true;
  bool restore_table = true;
  std::uint8_t cfg0 = 0, cfg2 = 0;
  int saved_channel = 1, saved_base_note = 24;
  TNoteTable table{};
};

struct NoteReport {
  int entry = 0;
  double target_hz = 0;
  double before_hz = 0;  // with the old table; 0 when not measured
  double after_hz = 0;
  int dac = 0;
};

struct TuningResult {
  bool ok = false;
  std::string reason;  // why it failed or was cancelled
  // Set on success when some notes stay farther than a DAC step and 2 cents
  // from their pitch: out of the oscillator's reach.
  std::string warning;
  TNoteTable table{};  // the tuned table (the old one outside the range)
  std::vector<NoteReport> notes;
};

// Where a run is, before each step.
struct TuningStatus {
  std::string phase;  // "Probing", "Verifying", ...
  int done = 0;       // steps done, of total
  int total = 0;
  int entry = 0;      // the table entry the step is about
  const std::vector<NoteReport>* notes = nullptr;  // so far: targets, before, after
};

// Returning false cancels the run.
using TuningProgress = std::function<bool(const TuningStatus&)>;

// Puts the interface in Monophonic mode with CV 1 "Tab" on the setup's channel
// and base note, measures the old table, probes the DAC range, picks each
// note's value, verifies and refines it, then sends back the configuration and
// the old table. Never writes to flash.
TuningResult RunTuning(TuningRig& rig, const TuningSetup& setup, const TuningProgress& progress = {});

}  // namespace tune
