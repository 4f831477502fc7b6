#include "midi/platform/midi_backend.h"

// On its own in the library, so that the Windows tests, which put our own
// dispatch and the virtual service in winmm's place, bring their own instead.
namespace midi_platform_detail {
// The ports own their winmm handles and close them themselves.
void ReleaseOpenHandles(MidiBackend&) {}
}  // namespace midi_platform_detail
