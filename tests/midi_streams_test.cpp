// The byte work shared by the ALSA and JACK backends: cutting output into
// messages for the wire, turning received bytes into callbacks, and the
// lock-free ring between JACK's process thread and ours.

#include "midi/platform/midi_streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "midi/platform/spsc_ring.h"
#include "support/test_support.h"

namespace {

using testing_support::Hex;

// ---- output ----

class OutStream {
 public:
  explicit OutStream(size_t max_piece = 256) : stream_(max_piece) {}
  // What went to the wire, one entry per message or piece.
  std::vector<std::string> Short(DWORD message) {
    std::vector<std::string> sent;
    stream_.Short(message, Sink(sent));
    return sent;
  }
  std::vector<std::string> Long(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> sent;
    stream_.Long(bytes.data(), bytes.size(), Sink(sent));
    return sent;
  }

 private:
  static MidiOutStream::Sink Sink(std::vector<std::string>& sent) {
    return [&sent](const BYTE* bytes, size_t count) { sent.push_back(Hex(bytes, count)); };
  }
  MidiOutStream stream_;
};

using Sent = std::vector<std::string>;

TEST(MidiOutStream, ShortMessagesGoOutWholeWithRunningStatusWrittenOut) {
  OutStream out;
  EXPECT_EQ(out.Short(0x006407B0), Sent({"B0 07 64"}));
  EXPECT_EQ(out.Short(0x00000A07), Sent({"B0 07 0A"})) << "data first: running status";
  EXPECT_EQ(out.Short(0x000005C1), Sent({"C1 05"}));
  EXPECT_EQ(out.Short(0x00000006), Sent({"C1 06"}));
  EXPECT_EQ(out.Short(0x000000F8), Sent({"F8"})) << "real-time keeps status";
  EXPECT_EQ(out.Short(0x00000007), Sent({"C1 07"}));
  EXPECT_EQ(out.Short(0x000000F6), Sent({"F6"})) << "system common ends running status";
  EXPECT_EQ(out.Short(0x00000007), Sent({})) << "no status to run on";
}

TEST(MidiOutStream, LongMessagesAreCutIntoMessagesAndSysexPieces) {
  OutStream out(4);
  EXPECT_EQ(out.Long({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7}),
            Sent({"F0 70 7B 00", "29 05 0A F7"}));
  EXPECT_EQ(out.Long({0xF8}), Sent({"F8"}));
  EXPECT_EQ(out.Long({0x90, 0x3C, 0x64, 0x3E, 0x00, 0xFA}), Sent({"90 3C 64", "90 3E 00", "FA"}));
  // A clock inside a SysEx keeps its place between the pieces.
  EXPECT_EQ(out.Long({0xF0, 0x01, 0xF8, 0x02, 0xF7}), Sent({"F0 01", "F8", "02 F7"}));
  // A SysEx may go on in the next long message.
  EXPECT_EQ(out.Long({0xF0, 0x01, 0x02}), Sent({"F0 01 02"}));
  EXPECT_EQ(out.Long({0x03, 0xF7}), Sent({"03 F7"}));
  // A status byte ends a SysEx that lacks its F7.
  EXPECT_EQ(out.Long({0xF0, 0x01, 0xB0, 0x07, 0x64}), Sent({"F0 01", "B0 07 64"}));
  EXPECT_EQ(out.Long({0x01, 0x02}), Sent({"B0 01 02"})) << "running status across messages";
}

// ---- input ----

class Recorder final : public MidiInClient {
 public:
  void Data(DWORD message, DWORD timestamp) override { Log("data", message, timestamp); }
  void Error(DWORD message, DWORD timestamp) override { Log("error", message, timestamp); }
  void LongData(MIDIHDR* header, DWORD timestamp) override { Long("long", header, timestamp); }
  void LongError(MIDIHDR* header, DWORD timestamp) override {
    Long("long-error", header, timestamp);
  }
  std::vector<std::string> Take() { return std::exchange(calls_, {}); }
  MidiInStream* detach_on_call = nullptr;

 private:
  void Log(const char* kind, DWORD message, DWORD timestamp) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %06X @%u", kind, static_cast<unsigned>(message),
                  static_cast<unsigned>(timestamp));
    calls_.emplace_back(text);
    if (detach_on_call) detach_on_call->Detach();
  }
  void Long(const char* kind, MIDIHDR* header, DWORD timestamp) {
    calls_.push_back(
        std::string(kind) + " [" +
        Hex(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBytesRecorded) + "] @" +
        std::to_string(timestamp));
    if (detach_on_call) detach_on_call->Detach();
  }
  std::vector<std::string> calls_;
};

struct Buffer {
  explicit Buffer(DWORD size) : bytes(size) {
    header.lpData = bytes.data();
    header.dwBufferLength = size;
  }
  std::vector<char> bytes;
  MIDIHDR header{};
};

using Calls = std::vector<std::string>;

void Receive(MidiInStream& stream, const std::vector<uint8_t>& bytes, DWORD timestamp) {
  stream.Receive(bytes.data(), bytes.size(), timestamp);
}

TEST(MidiInStream, ShortMessagesComeWholeAndRealTimeComesAtOnce) {
  Recorder client;
  MidiInStream stream(client);
  Receive(stream, {0x90, 0x3C, 0x64, 0x3E}, 5);
  Receive(stream, {0xFE, 0x00, 0xC2, 0x07}, 6);
  EXPECT_EQ(client.Take(),
            Calls({"data 643C90 @5", "data 0000FE @6", "data 003E90 @6", "data 0007C2 @6"}));
  Receive(stream, {0x40, 0xF9, 0xF7, 0xF2, 0x01, 0x02, 0x03}, 7);
  EXPECT_EQ(client.Take(), Calls({"data 0040C2 @7", "error 0000F9 @7", "error 0000F7 @7",
                                  "data 0201F2 @7", "error 000003 @7"}));
}

TEST(MidiInStream, SysexFillsTheAddedBuffersInOrder) {
  Recorder client;
  MidiInStream stream(client);
  Buffer a(4), b(4), c(16);
  for (Buffer* buffer : {&a, &b, &c}) stream.AddBuffer(&buffer->header);
  // Split as ALSA splits it; a clock inside comes at once; full buffers go back.
  Receive(stream, {0xF0, 0x70, 0x7B}, 1);
  Receive(stream, {0xF8, 0x00, 0x29, 0x05, 0x0A, 0xF7}, 2);
  EXPECT_EQ(client.Take(),
            Calls({"data 0000F8 @2", "long [F0 70 7B 00] @2", "long [29 05 0A F7] @2"}));
  EXPECT_EQ(stream.Buffers(), 1u);
  // A status byte cuts the next one short: the buffer comes back as an error.
  Receive(stream, {0xF0, 0x01, 0x02, 0x80, 0x3C, 0x00}, 3);
  EXPECT_EQ(client.Take(), Calls({"long-error [F0 01 02] @3", "data 003C80 @3"}));
  // Without a buffer a SysEx is lost, and what follows it is not.
  Receive(stream, {0xF0, 0x01, 0xF7, 0x90, 0x3C, 0x64}, 4);
  EXPECT_EQ(client.Take(), Calls({"data 643C90 @4"}));
}

TEST(MidiInStream, StopReturnsAPartBufferAndResetReturnsEveryBuffer) {
  Recorder client;
  MidiInStream stream(client);
  Buffer a(8), b(8);
  stream.AddBuffer(&a.header);
  stream.AddBuffer(&b.header);
  Receive(stream, {0xF0, 0x01}, 1);
  stream.Stop(9);
  EXPECT_EQ(client.Take(), Calls({"long [F0 01] @9"}));
  Receive(stream, {0x02, 0xF7}, 10);
  EXPECT_EQ(client.Take(), Calls({"error 000002 @10", "error 0000F7 @10"}))
      << "the SysEx ended with the stop";
  stream.Reset(11);
  EXPECT_EQ(client.Take(), Calls({"long [] @11"}));
  EXPECT_EQ(stream.Buffers(), 0u);
}

TEST(MidiInStream, ADetachedStreamCallsNothingMore) {
  Recorder client;
  MidiInStream stream(client);
  Buffer a(8);
  stream.AddBuffer(&a.header);
  client.detach_on_call = &stream;  // as a callback closing its own port
  Receive(stream, {0xF0, 0x01, 0x90, 0x3C, 0x64, 0xF8}, 1);
  EXPECT_EQ(client.Take(), Calls({"long-error [F0 01] @1"}));
  stream.Reset(2);
  EXPECT_EQ(client.Take(), Calls({}));
}

// ---- ring ----

TEST(SpscRing, RecordsCrossTheEndIntactAndAFullRingRefusesWholeRecords) {
  SpscRing ring(16);
  ASSERT_EQ(ring.Capacity(), 16u);
  uint8_t out[16];
  for (uint8_t round = 0; round < 20; ++round) {  // the write position wraps many times
    const uint8_t head = round;
    const uint8_t body[4] = {uint8_t(round + 1), uint8_t(round + 2), uint8_t(round + 3),
                             uint8_t(round + 4)};
    ASSERT_TRUE(ring.Write(&head, 1, body, 4));
    ASSERT_TRUE(ring.Read(out, 5));
    EXPECT_EQ(Hex(out, 5), Hex({head, body[0], body[1], body[2], body[3]}));
  }
  const uint8_t twelve[12] = {};
  ASSERT_TRUE(ring.Write(twelve, 12));
  const uint8_t five[5] = {1, 2, 3, 4, 5};
  EXPECT_FALSE(ring.Write(five, 5)) << "4 bytes free";
  EXPECT_FALSE(ring.Peek(out, 13));
  ASSERT_TRUE(ring.Skip(12));
  EXPECT_FALSE(ring.Read(out, 1)) << "empty";
  EXPECT_TRUE(ring.Write(five, 5));
}

}  // namespace
