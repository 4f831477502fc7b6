// Apart from the seam, so that only the editor's start-up links the audio service.
#include "tune_ui/auto_tune_parts.h"

namespace tune_ui {

AutoTuneParts PlatformAutoTuneParts() { return {audio::ListAudioInputs, audio::OpenAudioInput, MakeMidiRig}; }

}  // namespace tune_ui
