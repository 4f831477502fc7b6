#pragma once

// The byte-level work of a real MIDI service, apart from the service itself:
// what an output port is given becomes whole messages for the wire, and the
// bytes an input port receives become the client's callbacks.

#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

#include "midi/platform/midi_backend.h"

// Bytes in a message that starts with status (1 for real-time and unknown ones).
int MidiMessageLength(BYTE status);

// Cuts the output of one port into the messages a sequencer or JACK carries:
// running status written out, SysEx in pieces of at most max_piece bytes,
// real-time bytes on their own (between SysEx pieces when they interrupt one).
// A SysEx may continue from one long message into the next.
class MidiOutStream {
 public:
  using Sink = std::function<void(const BYTE* bytes, size_t count)>;

  explicit MidiOutStream(size_t max_piece);

  // A message packed as midiOutShortMsg takes it; a first byte below 0x80
  // continues the running status.
  void Short(DWORD message, const Sink& sink);
  // The bytes of a long message; SysEx bytes held are sent at its end.
  void Long(const BYTE* bytes, size_t count, const Sink& sink);

 private:
  void Put(BYTE byte, const Sink& sink);
  void FlushSysex(const Sink& sink);

  size_t max_piece_;
  BYTE running_ = 0;
  BYTE message_[3] = {};
  int have_ = 0;
  int need_ = 0;
  bool in_sysex_ = false;
  std::vector<BYTE> sysex_;
};

// Turns received bytes into Data/LongData/LongError/Error as a driver does:
// short messages are whole (running status written out), real-time bytes come
// at once even inside a SysEx, SysEx bytes fill the added buffers in order and
// a buffer comes back when it is full or the message ends. SysEx bytes that
// find no buffer are lost. Used on the backend's thread only.
class MidiInStream {
 public:
  explicit MidiInStream(MidiInClient& client) : client_(&client) {}

  void AddBuffer(MIDIHDR* header) { buffers_.push_back(header); }
  size_t Buffers() const { return buffers_.size(); }

  void Receive(const BYTE* bytes, size_t count, DWORD timestamp);
  // Input stops: a partly filled SysEx buffer comes back; empty ones stay.
  void Stop(DWORD timestamp);
  // Every buffer comes back, empty ones with 0 bytes recorded.
  void Reset(DWORD timestamp);
  // The client is gone (its port closed from inside a callback): call nothing more.
  void Detach() { client_ = nullptr; }

 private:
  void Put(BYTE byte, DWORD timestamp);
  void Store(BYTE byte, DWORD timestamp);
  void ReturnBuffer(bool complete, DWORD timestamp);

  MidiInClient* client_;
  std::deque<MIDIHDR*> buffers_;
  DWORD filled_ = 0;  // bytes in buffers_.front()
  BYTE running_ = 0;
  BYTE message_[3] = {};
  int have_ = 0;
  int need_ = 0;
  bool in_sysex_ = false;
};
