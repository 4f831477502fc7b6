#pragma once

// The part of the Windows multimedia MIDI API that the ports use, with the same
// names, values and meanings. On Windows it is the system's own, from winmm.
// Elsewhere each call forwards to the current backend (midi/platform/midi_backend.h);
// header flags and handle checks are kept in mmsystem.cpp. The seam check
// (tests/windows/) compiles these definitions with mingw-w64 and compares every
// constant, size and field offset with the real header; TQX_OWN_MMSYSTEM makes it
// take ours there.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(TQX_OWN_MMSYSTEM)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
// The editor's dialogs have a MessageBox of their own (ui/dialogs.h).
#undef MessageBox

#else

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using DWORD_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using MMRESULT = UINT;
using MMVERSION = UINT;
using CHAR = char;
using LPSTR = char*;

struct HMIDIOUT__;
struct HMIDIIN__;
struct HDRVR__;
struct HGLOBAL__;
using HGLOBAL = HGLOBAL__*;  // global memory, midi/midi_memory.h
using HMIDIOUT = HMIDIOUT__*;
using HMIDIIN = HMIDIIN__*;
using HDRVR = HDRVR__*;
using LPHMIDIOUT = HMIDIOUT*;
using LPHMIDIIN = HMIDIIN*;

// Callback for CALLBACK_FUNCTION: (handle, message, instance data, parameter 1, parameter 2).
// Called on the backend's own thread for MOM_DONE and the MIM_* data messages.
using MIDICALLBACK = void(HDRVR hdrvr, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                          DWORD_PTR dwParam2);
using LPMIDICALLBACK = MIDICALLBACK*;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
inline constexpr MMRESULT MIDIERR_NOMAP = 66;
inline constexpr MMRESULT MIDIERR_NOTREADY = 67;
inline constexpr MMRESULT MIDIERR_NODEVICE = 68;
inline constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;

inline constexpr UINT MIM_OPEN = 0x3C1;
inline constexpr UINT MIM_CLOSE = 0x3C2;
inline constexpr UINT MIM_DATA = 0x3C3;
inline constexpr UINT MIM_LONGDATA = 0x3C4;
inline constexpr UINT MIM_ERROR = 0x3C5;
inline constexpr UINT MIM_LONGERROR = 0x3C6;
inline constexpr UINT MOM_OPEN = 0x3C7;
inline constexpr UINT MOM_CLOSE = 0x3C8;
inline constexpr UINT MOM_DONE = 0x3C9;
inline constexpr UINT MIM_MOREDATA = 0x3CC;

inline constexpr WORD MOD_MIDIPORT = 1;
inline constexpr WORD MOD_SYNTH = 2;
inline constexpr WORD MOD_SQSYNTH = 3;
inline constexpr WORD MOD_FMSYNTH = 4;
inline constexpr WORD MOD_MAPPER = 5;
inline constexpr WORD MOD_WAVETABLE = 6;
inline constexpr WORD MOD_SWSYNTH = 7;

inline constexpr DWORD MIDICAPS_VOLUME = 0x0001;
inline constexpr DWORD MIDICAPS_LRVOLUME = 0x0002;
inline constexpr DWORD MIDICAPS_CACHE = 0x0004;

inline constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);

inline constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
inline constexpr DWORD CALLBACK_NULL = 0x00000000;
inline constexpr DWORD CALLBACK_WINDOW = 0x00010000;
inline constexpr DWORD CALLBACK_THREAD = 0x00020000;
inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
inline constexpr DWORD CALLBACK_EVENT = 0x00050000;
inline constexpr DWORD MIDI_IO_STATUS = 0x00000020;

inline constexpr DWORD MHDR_DONE = 0x00000001;
inline constexpr DWORD MHDR_PREPARED = 0x00000002;
inline constexpr DWORD MHDR_INQUEUE = 0x00000004;

inline constexpr UINT MAXPNAMELEN = 32;
inline constexpr UINT MAXERRORLENGTH = 256;

// Packed to 1 byte, as Windows' own header declares it.
#pragma pack(push, 1)
struct MIDIHDR {
  LPSTR lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  MIDIHDR* lpNext;
  DWORD_PTR reserved;
  DWORD dwOffset;
  DWORD_PTR dwReserved[8];
};
#pragma pack(pop)
using LPMIDIHDR = MIDIHDR*;

struct MIDIOUTCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  CHAR szPname[MAXPNAMELEN];
  WORD wTechnology;
  WORD wVoices;
  WORD wNotes;
  WORD wChannelMask;
  DWORD dwSupport;
};
static_assert(sizeof(MIDIOUTCAPSA) == 52);

struct MIDIINCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  CHAR szPname[MAXPNAMELEN];
  DWORD dwSupport;
};
static_assert(sizeof(MIDIINCAPSA) == 44);

UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, MIDIOUTCAPSA* pmoc, UINT cbmoc);
MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                     DWORD fdwOpen);
MMRESULT midiOutClose(HMIDIOUT hmo);
MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg);
MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
// hmo may also be a device number (MIDI_MAPPER included) cast to a handle.
MMRESULT midiOutSetVolume(HMIDIOUT hmo, DWORD dwVolume);
MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);

UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceID, MIDIINCAPSA* pmic, UINT cbmic);
MMRESULT midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen);
MMRESULT midiInClose(HMIDIIN hmi);
MMRESULT midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInStart(HMIDIIN hmi);
MMRESULT midiInStop(HMIDIIN hmi);
// Stops input and hands every added buffer back (MIM_LONGDATA) before returning.
MMRESULT midiInReset(HMIDIIN hmi);
MMRESULT midiInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);

#endif

// Windows' sizes: 64 bytes with 32-bit pointers, 112 with 64-bit ones.
static_assert(sizeof(MIDIHDR) == 4 * sizeof(DWORD) + 12 * sizeof(void*));
static_assert(offsetof(MIDIHDR, dwFlags) == 2 * sizeof(DWORD) + 2 * sizeof(void*));

// Codes from here up are handed out by backends, each with its own text
// (MidiErrorCode in midi_backend.h).
inline constexpr MMRESULT MIDIERR_BACKEND_BASE = 1000;
