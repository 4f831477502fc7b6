#include "tune/tuning_report.h"

#include <cstdio>

#include "config/record_fields.h"
#include "tune/pitch_meter.h"

namespace tune {
namespace {

std::string Number(double value, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Hz(double hz, const char* none) { return hz > 0 ? Number(hz, "%.3f") : none; }

std::string CentsOf(double hz, double target, const char* none) {
  return hz > 0 ? Number(Cents(hz, target), "%.2f") : none;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

}  // namespace

std::string ReportCsv(const TuningResult& result, int base_note) {
  std::string csv = "entry,note,target_hz,measured_before_hz,cents_before,measured_after_hz,cents_after,dac\n";
  for (const NoteReport& n : result.notes) {
    csv += std::to_string(n.entry + 1) + ',' + Trimmed(record_fields::NoteText(base_note + n.entry)) + ',' +
           Hz(n.target_hz, "") + ',' + Hz(n.before_hz, "") + ',' + CentsOf(n.before_hz, n.target_hz, "") + ',' +
           Hz(n.after_hz, "") + ',' + CentsOf(n.after_hz, n.target_hz, "") + ',' + std::to_string(n.dac) + '\n';
  }
  return csv;
}

std::string ReportJson(const TuningResult& result, int base_note) {
  std::string json = "{\"ok\": " + std::string(result.ok ? "true" : "false");
  if (!result.ok) json += ", \"reason\": " + Quoted(result.reason);
  json += ", \"table\": [";
  for (std::size_t i = 0; i < result.table.size(); ++i) json += (i ? ", " : "") + std::to_string(result.table[i]);
  json += "], \"notes\": [";
  for (std::size_t i = 0; i < result.notes.size(); ++i) {
    const NoteReport& n = result.notes[i];
    json += std::string(i ? ",\n  " : "\n  ") + "{\"entry\": " + std::to_string(n.entry + 1) +
            ", \"note\": " + Quoted(Trimmed(record_fields::NoteText(base_note + n.entry))) +
            ", \"target_hz\": " + Hz(n.target_hz, "null") + ", \"before_hz\": " + Hz(n.before_hz, "null") +
            ", \"cents_before\": " + CentsOf(n.before_hz, n.target_hz, "null") +
            ", \"after_hz\": " + Hz(n.after_hz, "null") + ", \"cents_after\": " +
            CentsOf(n.after_hz, n.target_hz, "null") + ", \"dac\": " + std::to_string(n.dac) + "}";
  }
  return json + "]}\n";
}

}  // namespace tune
