#include "midi/platform/quiet_libraries.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdio>

namespace {

void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}
void SilentJack(const char*) {}
void JackToStandardError(const char* text) { std::fprintf(stderr, "%s\n", text); }

}  // namespace

QuietLibraries::QuietLibraries() {
  snd_lib_error_set_handler(SilentAlsa);
  jack_set_error_function(SilentJack);
  jack_set_info_function(SilentJack);
}

QuietLibraries::~QuietLibraries() {
  snd_lib_error_set_handler(nullptr);
  jack_set_error_function(JackToStandardError);
  jack_set_info_function(JackToStandardError);
}
