#include "tune/tuning_run.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "protocol/parameter_map.h"
#include "tune/pitch_meter.h"
#include "tune/tuning_search.h"

namespace tune {
namespace {

// The CV, the oscillator and the audio path (a JACK or PipeWire period or two)
// settle within this after a note starts; what follows is measured.
constexpr double kSettleSeconds = 0.15;
constexpr double kRecordSeconds = 0.25;
constexpr std::uint8_t kPlayModeBits = 0x82;  // Polyphonic, Controlers
constexpr std::uint8_t kCv1Tab = 0x01;

struct Failed {
  std::string reason;
};

class Run {
 public:
  Run(TuningRig& rig, const TuningSetup& setup, const TuningProgress& progress)
      : rig_(rig), setup_(setup), progress_(progress) {}

  TuningResult Go() {
    TuningResult result;
    result.table = setup_.table;
    try {
      Tune(result);
      result.ok = true;
    } catch (const Failed& f) {
      result.reason = f.reason;
    } catch (const std::exception& e) {
      result.reason = e.what();
    }
    try {
      Restore();
    } catch (const std::exception& e) {
      if (result.ok) result.reason = std::string("the old configuration was not restored: ") + e.what();
      result.ok = false;
    }
    return result;
  }

 private:
  void Send(int parameter, int value) {
    rig_.SendParameter(BuildParameterMessage(setup_.device_id - 1, parameter, value));
  }

  void SendEntry(int entry, int value) {
    sent_table_[static_cast<std::size_t>(entry)] = value;
    Send(param::TABLE_FIRST + entry, value);
  }

  void Step(const std::string& phase, int entry) {
    if (progress_ && !progress_(TuningStatus{phase, done_, total_, entry, notes_}))
      throw Failed{"cancelled"};
    ++done_;
  }

  // The pitch of table entry `entry` as the oscillator plays it now.
  PitchReading Play(int entry) {
    const int note = setup_.base_note + entry;
    const std::uint32_t channel = static_cast<std::uint32_t>(setup_.channel - 1);
    rig_.SendShort(0x90u | channel | static_cast<std::uint32_t>(note) << 8 | 100u << 16);
    playing_ = note;
    const double rate = rig_.SampleRate();
    auto measure = [&](double seconds) {
      const std::vector<float> samples = rig_.Record(kSettleSeconds + seconds);
      const auto skip = std::min(samples.size(), static_cast<std::size_t>(kSettleSeconds * rate));
      return MeasurePitch(samples.data() + skip, samples.size() - skip, rate);
    };
    PitchReading reading = measure(kRecordSeconds);
    // Once more after a glitch (an overrun on a busy machine cuts the tone).
    if (reading.fault == PitchFault::Unstable) reading = measure(kRecordSeconds);
    // Low notes: ten periods, for the same accuracy as the others.
    if (reading.fault == PitchFault::None && 10 / reading.hz > kRecordSeconds) reading = measure(10.5 / reading.hz);
    NoteOff();
    if (reading.fault == PitchFault::NoSignal || reading.fault == PitchFault::Clipping)
      throw Failed{reading.reason};
    return reading;
  }

  void NoteOff() {
    if (playing_ < 0) return;
    rig_.SendShort(0x80u | static_cast<std::uint32_t>(setup_.channel - 1) |
                   static_cast<std::uint32_t>(playing_) << 8);
    playing_ = -1;
  }

  void Tune(TuningResult& result) {
    if (setup_.base_note + setup_.last > 127)
      throw Failed{"entry " + std::to_string(setup_.last + 1) + " of base note " + std::to_string(setup_.base_note) +
                   " is above MIDI note 127"};
    const int count = setup_.last - setup_.first + 1;
    total_ = 1 + 3 * count + 3 * kTableSize;
    Step("Setting up", setup_.first);
    configured_ = true;
    Send(param::CAN, setup_.channel - 1);
    Send(param::NREF, setup_.base_note);
    Send(param::CFG0, setup_.cfg0 & ~kPlayModeBits);
    Send(param::CFG2, setup_.cfg2 | kCv1Tab);

    std::vector<NoteReport>& notes = result.notes;
    notes_ = &notes;
    for (int entry = setup_.first; entry <= setup_.last; ++entry) {
      Step("Measuring the old table", entry);
      const PitchReading reading = Play(entry);
      notes.push_back({entry, 0, reading.hz, 0, setup_.table[static_cast<std::size_t>(entry)]});
    }

    const TNoteTable probes = ProbeTable();
    for (int entry = 0; entry < kTableSize; ++entry) {
      Step("Sending the probe table", entry);
      SendEntry(entry, probes[static_cast<std::size_t>(entry)]);
    }
    std::vector<Probe> measured;
    std::string unmeasured;
    for (int entry = 0; entry < kTableSize; ++entry) {
      Step("Probing", entry);
      const PitchReading reading = Play(entry);
      if (reading.fault == PitchFault::None) measured.push_back({probes[static_cast<std::size_t>(entry)], reading.hz});
      else unmeasured = reading.reason;
    }
    if (measured.size() < 2) throw Failed{unmeasured};
    const PitchCurve curve(measured);

    const double base_hz = BaseHz(notes);
    TNoteTable& table = result.table;
    for (NoteReport& note : notes) {
      note.target_hz = base_hz * std::exp2(note.entry / 12.0);
      note.dac = curve.ClosestDac(note.target_hz);
      table[static_cast<std::size_t>(note.entry)] = note.dac;
    }
    for (int entry = 0; entry < kTableSize; ++entry) {
      Step("Sending the tuned table", entry);
      SendEntry(entry, table[static_cast<std::size_t>(entry)]);
    }
    for (NoteReport& note : notes) {
      Step("Verifying", note.entry);
      note.after_hz = Play(note.entry).hz;
    }
    for (NoteReport& note : notes) {
      Step("Refining", note.entry);
      if (note.after_hz <= 0) continue;
      const int guess = NextGuess(curve, note.dac, note.after_hz, note.target_hz);
      if (guess == note.dac) continue;
      SendEntry(note.entry, guess);
      const double hz = Play(note.entry).hz;
      if (hz > 0 && std::fabs(Cents(hz, note.target_hz)) < std::fabs(Cents(note.after_hz, note.target_hz))) {
        note.dac = guess;
        note.after_hz = hz;
        table[static_cast<std::size_t>(note.entry)] = guess;
      } else {
        SendEntry(note.entry, note.dac);  // the interface holds what the result says
      }
    }
    std::string unreached;
    for (const NoteReport& note : notes) {
      if (note.after_hz <= 0)
        throw Failed{"entry " + std::to_string(note.entry + 1) + " gave no steady pitch"};
      if (std::fabs(Cents(note.after_hz, note.target_hz)) > std::fabs(curve.CentsPerStep(note.dac)) + 2)
        unreached += (unreached.empty() ? "" : ", ") + std::to_string(note.entry + 1);
    }
    if (!unreached.empty())
      result.warning = "out of the oscillator's reach, entries " + unreached + " stay off their pitch";
  }

  double BaseHz(const std::vector<NoteReport>& notes) const {
    switch (setup_.reference) {
      case Reference::BaseNote: return setup_.reference_hz;
      case Reference::A4: return BaseFrequencyFromA4(setup_.base_note, setup_.reference_hz);
      case Reference::Current: break;
    }
    const NoteReport& first = notes.front();
    if (first.before_hz <= 0) throw Failed{"the first note has no steady pitch to keep"};
    return first.before_hz * std::exp2(-first.entry / 12.0);
  }

  // Sends back what the run changed, the table first, so the interface ends as it began.
  void Restore() {
    NoteOff();
    for (int entry = 0; entry < kTableSize && setup_.restore_table; ++entry) {
      const int old = setup_.table[static_cast<std::size_t>(entry)];
      if (sent_table_[static_cast<std::size_t>(entry)] >= 0 && sent_table_[static_cast<std::size_t>(entry)] != old)
        Send(param::TABLE_FIRST + entry, old);
    }
    if (!configured_ || !setup_.restore_config) return;
    Send(param::CAN, setup_.saved_channel - 1);
    Send(param::NREF, setup_.saved_base_note);
    Send(param::CFG0, setup_.cfg0);
    Send(param::CFG2, setup_.cfg2);
  }

  TuningRig& rig_;
  const TuningSetup& setup_;
  const TuningProgress& progress_;
  std::array<int, kTableSize> sent_table_ = [] {
    std::array<int, kTableSize> none{};
    none.fill(-1);
    return none;
  }();
  bool configured_ = false;
  int playing_ = -1;
  const std::vector<NoteReport>* notes_ = nullptr;
  int done_ = 0;
  int total_ = 0;
};

}  // namespace

TuningResult RunTuning(TuningRig& rig, const TuningSetup& setup, const TuningProgress& progress) {
  return Run(rig, setup, progress).Go();
}

}  // namespace tune
