// Every constant, type size, structure size and field offset the ports take from
// mmsystem.h, compared between our header and Windows' own (seam_check.cpp).
#define TQX_SEAM_CONSTANTS(X)                                                              \
  X(MMSYSERR_NOERROR) X(MMSYSERR_ERROR) X(MMSYSERR_BADDEVICEID) X(MMSYSERR_NOTENABLED)     \
  X(MMSYSERR_ALLOCATED) X(MMSYSERR_INVALHANDLE) X(MMSYSERR_NODRIVER) X(MMSYSERR_NOMEM)     \
  X(MMSYSERR_NOTSUPPORTED) X(MMSYSERR_BADERRNUM) X(MMSYSERR_INVALFLAG)                     \
  X(MMSYSERR_INVALPARAM) X(MIDIERR_UNPREPARED) X(MIDIERR_STILLPLAYING) X(MIDIERR_NOMAP)   \
  X(MIDIERR_NOTREADY) X(MIDIERR_NODEVICE) X(MIDIERR_INVALIDSETUP) X(MIM_OPEN) X(MIM_CLOSE) \
  X(MIM_DATA) X(MIM_LONGDATA) X(MIM_ERROR) X(MIM_LONGERROR) X(MOM_OPEN) X(MOM_CLOSE)       \
  X(MOM_DONE) X(MIM_MOREDATA) X(MOD_MIDIPORT) X(MOD_SYNTH) X(MOD_SQSYNTH) X(MOD_FMSYNTH)   \
  X(MOD_MAPPER) X(MOD_WAVETABLE) X(MOD_SWSYNTH) X(MIDICAPS_VOLUME) X(MIDICAPS_LRVOLUME)    \
  X(MIDICAPS_CACHE) X(MIDI_MAPPER) X(CALLBACK_TYPEMASK) X(CALLBACK_NULL)                   \
  X(CALLBACK_WINDOW) X(CALLBACK_THREAD) X(CALLBACK_FUNCTION) X(CALLBACK_EVENT)             \
  X(MIDI_IO_STATUS) X(MHDR_DONE) X(MHDR_PREPARED) X(MHDR_INQUEUE) X(MAXPNAMELEN)           \
  X(MAXERRORLENGTH)

#define TQX_SEAM_TYPES(X)                                                                  \
  X(BOOL) X(BYTE) X(WORD) X(DWORD) X(UINT) X(DWORD_PTR) X(UINT_PTR) X(MMRESULT)            \
  X(MMVERSION) X(CHAR) X(LPSTR) X(HGLOBAL) X(HMIDIOUT) X(HMIDIIN) X(HDRVR) X(LPMIDIHDR)    \
  X(MIDIHDR) X(MIDIOUTCAPSA) X(MIDIINCAPSA)

#define TQX_SEAM_FIELDS(X)                                                                 \
  X(MIDIHDR, lpData) X(MIDIHDR, dwBufferLength) X(MIDIHDR, dwBytesRecorded)                \
  X(MIDIHDR, dwUser) X(MIDIHDR, dwFlags) X(MIDIHDR, lpNext) X(MIDIHDR, reserved)           \
  X(MIDIHDR, dwOffset) X(MIDIHDR, dwReserved) X(MIDIOUTCAPSA, wMid)                        \
  X(MIDIOUTCAPSA, wPid) X(MIDIOUTCAPSA, vDriverVersion) X(MIDIOUTCAPSA, szPname)           \
  X(MIDIOUTCAPSA, wTechnology) X(MIDIOUTCAPSA, wVoices) X(MIDIOUTCAPSA, wNotes)            \
  X(MIDIOUTCAPSA, wChannelMask) X(MIDIOUTCAPSA, dwSupport) X(MIDIINCAPSA, wMid)            \
  X(MIDIINCAPSA, wPid) X(MIDIINCAPSA, vDriverVersion) X(MIDIINCAPSA, szPname)              \
  X(MIDIINCAPSA, dwSupport)

#ifdef __cplusplus
#include <string>
#include <vector>

struct SeamEntry {
  std::string name;
  long long value;
};

// Values, then "sizeof T" entries, then "offsetof S.f" and "sizeof S.f" entries.
std::vector<SeamEntry> OurSeam();
std::vector<SeamEntry> WindowsSeam();

#define TQX_SEAM_TABLE                                                                     \
  std::vector<SeamEntry> table;                                                            \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wsign-compare\"")      \
  TQX_SEAM_CONSTANTS(TQX_SEAM_CONSTANT)                                                    \
  TQX_SEAM_TYPES(TQX_SEAM_TYPE) TQX_SEAM_FIELDS(TQX_SEAM_FIELD)                            \
  _Pragma("GCC diagnostic pop") return table;
#define TQX_SEAM_CONSTANT(name) table.push_back({#name, static_cast<long long>(name)});
#define TQX_SEAM_TYPE(type) table.push_back({"sizeof " #type, sizeof(type)});
#define TQX_SEAM_FIELD(type, field)                                                        \
  table.push_back({"offsetof " #type "." #field, offsetof(type, field)});                  \
  table.push_back({"sizeof " #type "." #field, sizeof(type::field)});
#endif
