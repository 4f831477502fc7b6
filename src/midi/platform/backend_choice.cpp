#include "midi/platform/backend_choice.h"

#ifdef _WIN32
#include "midi/platform/winmm_backend.h"

std::unique_ptr<MidiBackend> ChooseMidiBackend(std::string*) { return OpenWinmmMidiBackend(); }
#else
#include "midi/platform/alsa_backend.h"
#include "midi/platform/jack_backend.h"
#include "midi/platform/quiet_libraries.h"

std::unique_ptr<MidiBackend> ChooseMidiBackend(std::string* why) {
  const QuietLibraries quiet;
  std::string alsa_why;
  if (auto alsa = OpenAlsaMidiBackend(alsa_why)) return alsa;
  std::string jack_why;
  if (auto jack = OpenJackMidiBackend(jack_why)) return jack;
  if (why) *why = alsa_why + "; " + jack_why;
  return MakeNoneMidiBackend();
}
#endif
