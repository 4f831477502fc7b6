#include "midi/platform/backend_choice.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdio>

#include "midi/platform/alsa_backend.h"
#include "midi/platform/jack_backend.h"

namespace {

void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentJack(const char*) {}
void JackToStandardError(const char* text) { std::fprintf(stderr, "%s\n", text); }

// While the services are probed, their libraries print nothing of their own on
// standard error: a service that is not there is an answer here, and `why`
// says it once, in our words. Their usual reports come back afterwards.
class QuietLibraries {
 public:
  QuietLibraries() {
    snd_lib_error_set_handler(SilentAlsa);
    jack_set_error_function(SilentJack);
    jack_set_info_function(SilentJack);
  }
  ~QuietLibraries() {
    snd_lib_error_set_handler(nullptr);
    jack_set_error_function(JackToStandardError);
    jack_set_info_function(JackToStandardError);
  }
  QuietLibraries(const QuietLibraries&) = delete;
  QuietLibraries& operator=(const QuietLibraries&) = delete;
};

}  // namespace

std::unique_ptr<MidiBackend> ChooseMidiBackend(std::string* why) {
  const QuietLibraries quiet;
  std::string alsa_why;
  if (auto alsa = OpenAlsaMidiBackend(alsa_why)) return alsa;
  std::string jack_why;
  if (auto jack = OpenJackMidiBackend(jack_why)) return jack;
  if (why) *why = alsa_why + "; " + jack_why;
  return MakeNoneMidiBackend();
}
