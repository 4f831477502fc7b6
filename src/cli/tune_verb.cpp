// `tqx512 tune`: the auto-tune run without a window.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "audio/audio_input.h"
#include "cli/interrupts.h"
#include "cli/options.h"
#include "cli/output_ports.h"
#include "cli/verbs.h"
#include "config/record_fields.h"
#include "files/file_io.h"
#include "midi/midi_output.h"
#include "protocol/pacing_clock.h"
#include "protocol/parameter_map.h"
#include "tune/midi_tuning_rig.h"
#include "tune/pitch_meter.h"
#include "tune/tuning_report.h"

namespace cli {

namespace {

constexpr const char* kHelp =
    "usage: tqx512 tune --port PORT --audio-input NAME --out TABLE.3CV [--channel 1..16]\n"
    "                   [--device-id 1..128] [--base-note N] [--reference base=HZ|a4=HZ|current]\n"
    "                   [--range FIRST..LAST] [--config FILE.TQC] [--table FILE.3CV]\n"
    "                   [--report REPORT.csv] [--json]\n"
    "\n"
    "Tunes the note table by ear of the sound card: puts the interface in Monophonic\n"
    "mode with CV 1 \"Tab\", plays each note, measures the oscillator patched to CV 1\n"
    "on the audio input, and writes the table that puts every note nearest its pitch.\n"
    "Never writes to flash.\n"
    "\n"
    "  --port PORT          the MIDI output, as for `tqx512 send`\n"
    "  --audio-input NAME   \"default\", an ALSA capture device (hw:1,0), or a JACK\n"
    "                       port as jack:CLIENT:PORT\n"
    "  --out FILE           the tuned table, as a .3CV file\n"
    "  --channel N          the MIDI channel (default: the --config's, else 1)\n"
    "  --device-id N        the interface's device ID (default: the --config's, else 1)\n"
    "  --base-note N        the table's first note (default: the --config's, else 24)\n"
    "  --reference R        the pitch to tune to: base=HZ the base note's, a4=HZ with\n"
    "                       MIDI note 69 (\"A 3\") at HZ, current the oscillator's own\n"
    "                       tuning of the first note (default a4=440)\n"
    "  --range A..B         the table entries to tune, 1..48 (default 1..48)\n"
    "  --config FILE.TQC    the configuration the interface holds, sent back at the end;\n"
    "                       without it the interface is left in Monophonic mode with\n"
    "                       only CV 1 \"Tab\" ticked, on the channel and base note given\n"
    "  --table FILE.3CV     the table it holds, sent back at the end; without it the\n"
    "                       interface keeps the last table sent (the tuned one after a\n"
    "                       run that worked) until it is switched off. A --range that\n"
    "                       is not 1..48 needs it: the other entries come from it\n"
    "  --report FILE.csv    per note: target, before and after, cents, DAC value\n"
    "  --json               the report on standard output as JSON\n"
    "\n"
    "Exit status: 0 the table written, 1 a failed measurement, port or write, 2 bad\n"
    "usage, 130 interrupted.\n";

double Hertz(const std::string& text, const std::string& option) {
  // A point for decimals, whatever the locale.
  double hz = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), hz);
  if (error == std::errc() && end == text.data() + text.size() && hz >= 8 && hz <= 8000) return hz;
  throw UsageError{option + " needs a frequency in Hz, 8..8000, not \"" + text + "\""};
}

void ReadReference(const std::optional<std::string>& value, tune::TuningSetup& setup) {
  const std::string text = value.value_or("a4=440");
  if (text == "current") {
    setup.reference = tune::Reference::Current;
  } else if (text.starts_with("a4=")) {
    setup.reference = tune::Reference::A4;
    setup.reference_hz = Hertz(text.substr(3), "--reference a4=");
  } else if (text.starts_with("base=")) {
    setup.reference = tune::Reference::BaseNote;
    setup.reference_hz = Hertz(text.substr(5), "--reference base=");
  } else {
    throw UsageError{"--reference is base=HZ, a4=HZ or current, not \"" + text + "\""};
  }
}

void ReadRange(const std::optional<std::string>& value, tune::TuningSetup& setup) {
  if (!value) return;
  int first = 0, last = 0;
  char tail = 0;
  if (std::sscanf(value->c_str(), "%d..%d%c", &first, &last, &tail) != 2 || first < 1 ||
      last > kTableSize || first > last)
    throw UsageError{"--range is FIRST..LAST within 1..48, not \"" + *value + "\""};
  setup.first = first - 1;
  setup.last = last - 1;
}

}  // namespace

int RunTune(const std::vector<std::string>& args, Io& io) {
  const Options options = ParseOptions(
      args, {"help", "json"},
      {"port", "audio-input", "out", "channel", "device-id", "base-note", "reference", "range", "config",
       "table", "report"});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (!options.operands.empty()) throw UsageError{"unexpected \"" + options.operands[0] + "\""};
  const std::optional<std::string> input = options.Value("audio-input");
  const std::optional<std::string> out = options.Value("out");
  if (!input) throw UsageError{"no --audio-input given"};
  if (!out) throw UsageError{"no --out given"};

  tune::TuningSetup setup;
  setup.restore_config = false;
  setup.restore_table = false;
  int channel = 1, base_note = 24, device_id = 1;
  if (const auto path = options.Value("config")) {
    const InputFile config = ReadInputFile(*path, io.err, FileKind::Config);
    if (config.kind != FileKind::Config) throw UsageError{*path + " is not a configuration (.TQC)"};
    channel = config.record[param::CAN - param::CONFIG_FIRST] % 16 + 1;
    base_note = config.record[param::NREF - param::CONFIG_FIRST];
    device_id = *OwnDeviceId(config);
    setup.restore_config = true;
    setup.cfg0 = config.record[param::CFG0 - param::CONFIG_FIRST];
    setup.cfg2 = config.record[param::CFG2 - param::CONFIG_FIRST];
    setup.saved_channel = channel;
    setup.saved_base_note = base_note;
  }
  if (const auto path = options.Value("table")) {
    const InputFile table = ReadInputFile(*path, io.err, FileKind::Table);
    if (table.kind != FileKind::Table) throw UsageError{*path + " is not a note table (.3CV, .TQX)"};
    setup.table = table.table;
    setup.restore_table = true;
  }
  setup.channel = NumberOption(options, "channel", 1, 16, channel);
  setup.base_note = NumberOption(options, "base-note", 0, 127, base_note);
  setup.device_id = DeviceIdOption(options).value_or(device_id);
  if (!setup.restore_config) {
    setup.saved_channel = setup.channel;
    setup.saved_base_note = setup.base_note;
  }
  ReadReference(options.Value("reference"), setup);
  ReadRange(options.Value("range"), setup);
  if ((setup.first > 0 || setup.last < kTableSize - 1) && !setup.restore_table)
    throw UsageError{"--range needs --table: the entries outside the range come from it"};
  if (setup.base_note + setup.last > 127)
    throw UsageError{"the base note " + std::to_string(setup.base_note) + " puts entry " +
                     std::to_string(setup.last + 1) + " above MIDI note 127"};
  // A minute of tuning is not lost for an output that cannot be written.
  const auto writable = [](const std::string& option, const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw UsageError{option + " " + path + " is a folder"};
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, error))
      throw UsageError{option + ": there is no folder " + folder.string()};
  };
  writable("--out", *out);
  if (const auto report = options.Value("report")) writable("--report", *report);

  TMidiOutput port(nullptr);
  int code = kSuccess;
  if (!ConnectAndChoosePort(io, port, options.Value("port"), code)) return code;
  std::string why;
  const std::unique_ptr<audio::AudioInput> audio = audio::OpenAudioInput(*input, why);
  if (!audio) {
    io.err << "tqx512: " << why << '\n';
    return kSendFailed;
  }
  if (!port.Open()) {
    io.err << "tqx512: " << port.midioutErrorString(port.Error()) << '\n';
    return kSendFailed;
  }

  tune::MidiTuningRig rig(port, *audio);
  const PacingPriority priority;
  const tune::TuningResult result = tune::RunTuning(rig, setup, [&](const tune::TuningStatus& status) {
    if (io.progress) {
      char line[160];
      std::snprintf(line, sizeof line, "\r%-24s %-5s %3d%% ", status.phase.c_str(),
                    record_fields::NoteText(setup.base_note + status.entry).c_str(),
                    status.total ? status.done * 100 / status.total : 0);
      io.err << line << std::flush;
    }
    return !Interrupted();
  });
  port.Close();
  if (io.progress) io.err << '\n';

  if (options.Has("json")) io.out << tune::ReportJson(result, setup.base_note);
  if (!result.ok || Interrupted()) {
    if (Interrupted()) {
      io.err << "tqx512: interrupted\ntqx512: no table written\n";
      return kInterrupted;
    }
    io.err << "tqx512: " << result.reason << "\ntqx512: no table written\n";
    return kSendFailed;
  }
  if (!files::WriteFileAtomically(*out, TableFileImage(result.table))) {
    io.err << "tqx512: " << *out << ": Write File Error - Abort Saving\n";
    return kSendFailed;
  }
  if (const auto report = options.Value("report")) {
    const std::string csv = tune::ReportCsv(result, setup.base_note);
    if (!files::WriteFileAtomically(*report, std::vector<uint8_t>(csv.begin(), csv.end()))) {
      io.err << "tqx512: " << *report << ": Write File Error - Abort Saving\n";
      return kSendFailed;
    }
  }
  double worst = 0;
  for (const tune::NoteReport& n : result.notes) worst = std::max(worst, std::fabs(tune::Cents(n.after_hz, n.target_hz)));
  char summary[160];
  std::snprintf(summary, sizeof summary, "tqx512: %zu notes tuned, the farthest %.1f cents from its pitch\n",
                result.notes.size(), worst);
  io.err << summary;
  if (!result.warning.empty()) io.err << "tqx512: " << result.warning << '\n';
  return kSuccess;
}

}  // namespace cli
