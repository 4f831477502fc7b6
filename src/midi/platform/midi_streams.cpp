#include "midi/platform/midi_streams.h"

namespace {

constexpr BYTE kSysex = 0xF0;
constexpr BYTE kEndOfSysex = 0xF7;

bool IsRealTime(BYTE byte) { return byte >= 0xF8; }

DWORD Pack(const BYTE* message, int count) {
  DWORD packed = 0;
  for (int i = 0; i < count; ++i) packed |= DWORD{message[i]} << (8 * i);
  return packed;
}

}  // namespace

int MidiMessageLength(BYTE status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 2;
    case 0xF0:
      break;
    default:
      return 3;
  }
  switch (status) {
    case 0xF1:
    case 0xF3:
      return 2;
    case 0xF2:
      return 3;
    default:
      return 1;
  }
}

// ---- output ----

MidiOutStream::MidiOutStream(size_t max_piece) : max_piece_(max_piece) {}

void MidiOutStream::Short(DWORD message, const Sink& sink) {
  const BYTE first = message & 0xFF;
  int count;
  if (first >= 0x80) {
    count = MidiMessageLength(first);
  } else {
    count = running_ ? MidiMessageLength(running_) - 1 : 0;
  }
  for (int i = 0; i < count; ++i) Put(static_cast<BYTE>(message >> (8 * i)), sink);
}

void MidiOutStream::Long(const BYTE* bytes, size_t count, const Sink& sink) {
  for (size_t i = 0; i < count; ++i) Put(bytes[i], sink);
  FlushSysex(sink);
}

void MidiOutStream::FlushSysex(const Sink& sink) {
  if (sysex_.empty()) return;
  sink(sysex_.data(), sysex_.size());
  sysex_.clear();
}

void MidiOutStream::Put(BYTE byte, const Sink& sink) {
  if (IsRealTime(byte)) {
    FlushSysex(sink);  // keeps the wire order of the bytes
    sink(&byte, 1);
    return;
  }
  if (in_sysex_) {
    if (byte < 0x80 || byte == kEndOfSysex) {
      sysex_.push_back(byte);
      if (byte == kEndOfSysex) {
        in_sysex_ = false;
        FlushSysex(sink);
      } else if (sysex_.size() >= max_piece_) {
        FlushSysex(sink);
      }
      return;
    }
    // Any other status ends the SysEx unterminated, as on a wire.
    in_sysex_ = false;
    FlushSysex(sink);
  }
  if (byte == kSysex) {
    in_sysex_ = true;
    running_ = 0;
    have_ = 0;
    sysex_.push_back(byte);
    return;
  }
  if (byte >= 0x80) {
    running_ = byte < 0xF0 ? byte : 0;
    message_[0] = byte;
    have_ = 1;
    need_ = MidiMessageLength(byte);
  } else {
    if (have_ == 0) {
      if (!running_) return;  // a data byte without status means nothing
      message_[0] = running_;
      have_ = 1;
      need_ = MidiMessageLength(running_);
    }
    message_[have_++] = byte;
  }
  if (have_ == need_) {
    sink(message_, have_);
    have_ = 0;
  }
}

// ---- input ----

void MidiInStream::Receive(const BYTE* bytes, size_t count, DWORD timestamp) {
  for (size_t i = 0; i < count && client_; ++i) Put(bytes[i], timestamp);
}

void MidiInStream::Put(BYTE byte, DWORD timestamp) {
  if (IsRealTime(byte)) {
    if (byte == 0xF9 || byte == 0xFD) {
      client_->Error(byte, timestamp);  // undefined
    } else {
      client_->Data(byte, timestamp);
    }
    return;
  }
  if (in_sysex_) {
    if (byte < 0x80 || byte == kEndOfSysex) {
      Store(byte, timestamp);
      if (byte == kEndOfSysex) {
        in_sysex_ = false;
        ReturnBuffer(true, timestamp);
      }
      return;
    }
    in_sysex_ = false;
    ReturnBuffer(false, timestamp);
    if (!client_) return;
  }
  if (byte == kSysex) {
    in_sysex_ = true;
    running_ = 0;
    have_ = 0;
    Store(byte, timestamp);
    return;
  }
  if (byte >= 0x80) {
    have_ = 0;
    if (byte == 0xF4 || byte == 0xF5 || byte == kEndOfSysex) {  // undefined, or EOX alone
      running_ = 0;
      client_->Error(byte, timestamp);
      return;
    }
    running_ = byte < 0xF0 ? byte : 0;
    message_[have_++] = byte;
    need_ = MidiMessageLength(byte);
  } else {
    if (have_ == 0) {
      if (!running_) {
        client_->Error(byte, timestamp);
        return;
      }
      message_[have_++] = running_;
      need_ = MidiMessageLength(running_);
    }
    message_[have_++] = byte;
  }
  if (have_ == need_) {
    have_ = 0;
    client_->Data(Pack(message_, need_), timestamp);
  }
}

void MidiInStream::Store(BYTE byte, DWORD timestamp) {
  if (buffers_.empty()) return;
  MIDIHDR* header = buffers_.front();
  header->lpData[filled_++] = static_cast<char>(byte);
  // A full buffer goes back; the message continues in the next one.
  if (filled_ == header->dwBufferLength) ReturnBuffer(true, timestamp);
}

void MidiInStream::ReturnBuffer(bool complete, DWORD timestamp) {
  if (buffers_.empty() || filled_ == 0 || !client_) return;
  MIDIHDR* header = buffers_.front();
  buffers_.pop_front();
  header->dwBytesRecorded = filled_;
  filled_ = 0;
  if (complete) {
    client_->LongData(header, timestamp);
  } else {
    client_->LongError(header, timestamp);
  }
}

void MidiInStream::Stop(DWORD timestamp) {
  ReturnBuffer(true, timestamp);
  in_sysex_ = false;
  running_ = 0;
  have_ = 0;
}

void MidiInStream::Reset(DWORD timestamp) {
  Stop(timestamp);
  while (!buffers_.empty() && client_) {
    MIDIHDR* header = buffers_.front();
    buffers_.pop_front();
    header->dwBytesRecorded = 0;
    client_->LongData(header, timestamp);
  }
}
