#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/midi_handler.h"
#include "midi/midi_memory.h"
#include "midi/midi_types.h"
#include "midi/notify_window.h"
#include "midi/platform/device_info.h"
#include "midi/platform/virtual_backend.h"
#include "support/test_support.h"

namespace {

using Call = VirtualMidiBackend::Call;
using testing_support::Hex;

// Collects what the service hands to a CALLBACK_FUNCTION.
struct Callbacks {
  struct Entry {
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    std::thread::id thread;
  };

  static void Record(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) {
    auto* self = reinterpret_cast<Callbacks*>(instance);
    std::lock_guard lock(self->mutex);
    self->entries.push_back({message, param1, param2, std::this_thread::get_id()});
  }
  DWORD_PTR Function() const { return reinterpret_cast<DWORD_PTR>(&Record); }
  DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }
  std::vector<Entry> Of(UINT message) {
    std::lock_guard lock(mutex);
    std::vector<Entry> found;
    for (const Entry& entry : entries)
      if (entry.message == message) found.push_back(entry);
    return found;
  }

  std::mutex mutex;
  std::vector<Entry> entries;
};

// A prepared-header-sized buffer the test owns.
struct Buffer {
  explicit Buffer(std::vector<BYTE> bytes) : data(std::move(bytes)) {
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = static_cast<DWORD>(data.size());
  }
  std::vector<BYTE> data;
  MIDIHDR header{};
  std::string Recorded() const { return Hex(data.data(), header.dwBytesRecorded); }
};

class MidiPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<VirtualMidiBackend>();
    midi = backend.get();
    SetMidiBackend(std::move(backend));
  }
  void TearDown() override { SetMidiBackend(nullptr); }

  HMIDIOUT OpenOut(Callbacks& callbacks, UINT device = 0) {
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(midiOutOpen(&handle, device, callbacks.Function(), callbacks.Instance(),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
  }
  HMIDIIN OpenIn(Callbacks& callbacks) {
    HMIDIIN handle = nullptr;
    EXPECT_EQ(midiInOpen(&handle, 0, callbacks.Function(), callbacks.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
  }

  VirtualMidiBackend* midi = nullptr;
  static constexpr UINT kSize = sizeof(MIDIHDR);
};

TEST_F(MidiPlatformTest, HeaderFlagsFollowALongMessageThroughTheDevice) {
  midi->AddOutputDevice("Port A");
  midi->SetSendDelay(std::chrono::milliseconds(100));  // keeps it queued meanwhile
  Callbacks callbacks;
  HMIDIOUT out = OpenOut(callbacks);
  Buffer sysex({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});

  EXPECT_EQ(midiOutLongMsg(out, &sysex.header, kSize), MIDIERR_UNPREPARED);
  EXPECT_EQ(midiOutPrepareHeader(out, &sysex.header, kSize), MMSYSERR_NOERROR);
  EXPECT_EQ(sysex.header.dwFlags, MHDR_PREPARED);
  EXPECT_EQ(midiOutLongMsg(out, &sysex.header, kSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(out, &sysex.header, kSize), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midiOutUnprepareHeader(out, &sysex.header, kSize), MIDIERR_STILLPLAYING);

  midi->WaitIdle();
  EXPECT_EQ(std::atomic_ref<DWORD>(sysex.header.dwFlags).load(), MHDR_PREPARED | MHDR_DONE);
  const auto done = callbacks.Of(MOM_DONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].param1, reinterpret_cast<DWORD_PTR>(&sysex.header));
  EXPECT_NE(done[0].thread, std::this_thread::get_id());
  EXPECT_EQ(done[0].thread, midi->WorkerThread());
  EXPECT_EQ(midi->Sent(0).size(), 1u);

  EXPECT_EQ(midiOutUnprepareHeader(out, &sysex.header, kSize), MMSYSERR_NOERROR);
  EXPECT_EQ(sysex.header.dwFlags, MHDR_DONE);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  ASSERT_EQ(callbacks.Of(MOM_OPEN).size(), 1u);
  EXPECT_EQ(callbacks.Of(MOM_OPEN)[0].thread, std::this_thread::get_id());
  EXPECT_EQ(callbacks.Of(MOM_CLOSE).size(), 1u);
}

TEST_F(MidiPlatformTest, CloseReturnsOnlyAfterPendingDoneCallbacks) {
  midi->AddOutputDevice("Port A");
  midi->SetSendDelay(std::chrono::milliseconds(20));
  Callbacks callbacks;
  HMIDIOUT out = OpenOut(callbacks);
  Buffer first({0xF8});
  Buffer second({0xFA});
  for (Buffer* buffer : {&first, &second}) {
    midiOutPrepareHeader(out, &buffer->header, kSize);
    ASSERT_EQ(midiOutLongMsg(out, &buffer->header, kSize), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(callbacks.Of(MOM_DONE).size(), 2u);
}

TEST_F(MidiPlatformTest, BadHandlesDevicesAndFlagsAreRefused) {
  midi->AddOutputDevice("Port A");
  midi->AddInputDevice("In A");
  Buffer buffer({0xF8});
  EXPECT_EQ(midiOutShortMsg(nullptr, 0x90), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutPrepareHeader(nullptr, &buffer.header, kSize), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutClose(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInStart(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInAddBuffer(nullptr, &buffer.header, kSize), MMSYSERR_INVALHANDLE);

  Callbacks callbacks;
  HMIDIOUT out = OpenOut(callbacks);
  HMIDIOUT second = nullptr;
  EXPECT_EQ(midiOutOpen(&second, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiOutPrepareHeader(out, &buffer.header, kSize - 1), MMSYSERR_INVALPARAM);
  ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutShortMsg(out, 0x90), MMSYSERR_INVALHANDLE);  // a closed handle stays dead

  EXPECT_EQ(midiOutOpen(&second, 1, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(midiOutOpen(&second, 0, 0, 0, CALLBACK_WINDOW), MMSYSERR_INVALFLAG);
  MIDIINCAPSA in_caps{};
  EXPECT_EQ(midiInGetDevCapsA(MIDI_MAPPER, &in_caps, sizeof in_caps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiInGetDevCapsA(0, &in_caps, sizeof in_caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(in_caps.szPname, "In A");
}

TEST_F(MidiPlatformTest, ShortMessagesAreRecordedWithTheirMidiLength) {
  midi->AddOutputDevice("Port A");
  Callbacks callbacks;
  HMIDIOUT out = OpenOut(callbacks);
  for (DWORD message : {0x403C80u, 0x7F07B0u, 0x4000E0u, 0x0005C0u, 0x0040D0u, 0x000010F1u,
                        0x000102F2u, 0xF8u, 0xFEu, 0x3C90u, 0x0040u}) {
    ASSERT_EQ(midiOutShortMsg(out, message), MMSYSERR_NOERROR);
  }
  std::vector<std::string> sent;
  for (const auto& bytes : midi->Sent(0)) sent.push_back(Hex(bytes));
  // The last message has no status: it runs on from the note-on before it.
  EXPECT_EQ(sent, (std::vector<std::string>{"80 3C 40", "B0 07 7F", "E0 00 40", "C0 05", "D0 40",
                                            "F1 10", "F2 02 01", "F8", "FE", "90 3C 00",
                                            "40 00"}));
  midiOutClose(out);
}

// As a real service: the caps carry 31 bytes of a name, the device info all of
// it and who the device is; an unplugged device leaves the list, and a port left
// open on it fails with "no driver" until it is plugged in again.
TEST_F(MidiPlatformTest, DevicesKeepWholeNamesAndIdentitiesAndCanBeUnplugged) {
  const std::string longName = "a2j:TQX Cable [20] (playback): TQX Cable MIDI 1";
  const int cable = midi->AddOutputDevice(longName);
  const int other = midi->AddOutputDevice("TQX Cable");
  midi->SetOutputIdentity(other, "card-5:36:0", "36:0");
  MIDIOUTCAPSA caps{};
  ASSERT_EQ(midiOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(std::string(caps.szPname), longName.substr(0, 31));
  MidiDeviceInfo info;
  ASSERT_EQ(midiOutGetDevInfo(0, info), MMSYSERR_NOERROR);
  EXPECT_EQ(info.name, longName);
  EXPECT_EQ(info.identity, "virtual-out-0");
  ASSERT_EQ(midiOutGetDevInfo(1, info), MMSYSERR_NOERROR);
  EXPECT_EQ(info.identity, "card-5:36:0");
  EXPECT_EQ(info.address, "36:0");

  Callbacks callbacks;
  HMIDIOUT out = OpenOut(callbacks, 0);
  midi->UnplugOutput(cable);
  EXPECT_EQ(midiOutGetNumDevs(), 1u);
  ASSERT_EQ(midiOutGetDevInfo(0, info), MMSYSERR_NOERROR);
  EXPECT_EQ(info.name, "TQX Cable");
  EXPECT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_NODRIVER);
  const int newcomer = midi->InsertOutputDevice(0, "Newcomer");
  midi->ReplugOutput(cable);
  EXPECT_EQ(midi->OutputNumber(cable), 0);  // back at its place
  EXPECT_EQ(midi->OutputNumber(newcomer), 1);
  EXPECT_EQ(midiOutShortMsg(out, 0xFA), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->Sent(cable), (std::vector<std::vector<BYTE>>{{0xFA}}));
  EXPECT_TRUE(midi->Sent(other).empty());
  midiOutClose(out);
}

TEST_F(MidiPlatformTest, ErrorTextsFitTheBufferAndUnknownCodesAreRefused) {
  char text[128];
  EXPECT_EQ(midiOutGetErrorTextA(MMSYSERR_BADDEVICEID, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "A device ID has been used that is out of range for your system.");
  EXPECT_EQ(midiInGetErrorTextA(MIDIERR_UNPREPARED, text, 14), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "The header ha");
  EXPECT_EQ(midiOutGetErrorTextA(70, text, sizeof text), MMSYSERR_BADERRNUM);
  EXPECT_EQ(midiOutGetErrorTextA(MMSYSERR_ERROR, nullptr, 0), MMSYSERR_INVALPARAM);

  const MMRESULT busy = MidiErrorCode("Cannot subscribe to port 24:0 - Device or resource busy");
  EXPECT_GE(busy, MIDIERR_BACKEND_BASE);
  EXPECT_EQ(MidiErrorCode("Cannot subscribe to port 24:0 - Device or resource busy"), busy);
  EXPECT_NE(MidiErrorCode("Cannot create port - Out of memory"), busy);
  EXPECT_EQ(midiInGetErrorTextA(busy, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "Cannot subscribe to port 24:0 - Device or resource busy");
}

TEST_F(MidiPlatformTest, NoneBackendHasNoDevices) {
  SetMidiBackend(nullptr);
  EXPECT_EQ(CurrentMidiBackend().Name(), "none");
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  EXPECT_EQ(midiInGetNumDevs(), 0u);
  MIDIOUTCAPSA caps{};
  EXPECT_EQ(midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps), MMSYSERR_NODRIVER);
  HMIDIOUT out = nullptr;
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
}

TEST_F(MidiPlatformTest, ChangingTheBackendClosesItsOpenDevices) {
  midi->AddOutputDevice("Port A");
  Callbacks callbacks;
  HMIDIOUT out = OpenOut(callbacks);
  SetMidiBackend(std::make_unique<VirtualMidiBackend>());
  EXPECT_EQ(midiOutShortMsg(out, 0xF8), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_INVALHANDLE);
}

TEST_F(MidiPlatformTest, InjectedInputArrivesOnTheServiceThreadOnlyWhileStarted) {
  midi->AddInputDevice("In A");
  Callbacks callbacks;
  HMIDIIN in = OpenIn(callbacks);
  midi->InjectShort(0, 0x643C90, 10);  // not started: lost
  midi->WaitIdle();
  EXPECT_TRUE(callbacks.Of(MIM_DATA).empty());

  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  midi->InjectShort(0, 0x643C90, 1234);
  midi->InjectInvalid(0, 0x0000F4, 1240);
  midi->WaitIdle();
  const auto data = callbacks.Of(MIM_DATA);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].param1, 0x643C90u);
  EXPECT_EQ(data[0].param2, 1234u);
  EXPECT_EQ(data[0].thread, midi->WorkerThread());
  EXPECT_EQ(callbacks.Of(MIM_ERROR).size(), 1u);

  ASSERT_EQ(midiInStop(in), MMSYSERR_NOERROR);
  midi->InjectShort(0, 0x643C80, 1300);
  midi->WaitIdle();
  EXPECT_EQ(callbacks.Of(MIM_DATA).size(), 1u);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(callbacks.Of(MIM_CLOSE).size(), 1u);
}

TEST_F(MidiPlatformTest, InjectedSysexFillsTheAddedBuffersInOrder) {
  midi->AddInputDevice("In A");
  Callbacks callbacks;
  HMIDIIN in = OpenIn(callbacks);
  Buffer first(std::vector<BYTE>(4));
  Buffer second(std::vector<BYTE>(4));
  Buffer third(std::vector<BYTE>(4));
  EXPECT_EQ(midiInAddBuffer(in, &first.header, kSize), MIDIERR_UNPREPARED);
  for (Buffer* buffer : {&first, &second, &third}) {
    ASSERT_EQ(midiInPrepareHeader(in, &buffer->header, kSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &buffer->header, kSize), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);

  midi->InjectSysex(0, {0xF0, 0x70, 0x7B, 0x00, 0x29, 0xF7}, 500);
  midi->InjectSysex(0, {0xF0, 0x43}, 600, /*complete=*/false);
  midi->WaitIdle();
  const auto long_data = callbacks.Of(MIM_LONGDATA);
  ASSERT_EQ(long_data.size(), 2u);
  EXPECT_EQ(long_data[0].param1, reinterpret_cast<DWORD_PTR>(&first.header));
  EXPECT_EQ(long_data[1].param2, 500u);
  EXPECT_EQ(first.Recorded(), "F0 70 7B 00");
  EXPECT_EQ(second.Recorded(), "29 F7");
  EXPECT_EQ(std::atomic_ref<DWORD>(second.header.dwFlags).load(), MHDR_PREPARED | MHDR_DONE);
  const auto long_error = callbacks.Of(MIM_LONGERROR);
  ASSERT_EQ(long_error.size(), 1u);
  EXPECT_EQ(long_error[0].param1, reinterpret_cast<DWORD_PTR>(&third.header));
  EXPECT_EQ(third.Recorded(), "F0 43");
  EXPECT_EQ(midi->InputBuffers(0), 0u);

  // Reset hands back buffers still added, before it returns; close then succeeds.
  ASSERT_EQ(midiInAddBuffer(in, &first.header, kSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInUnprepareHeader(in, &first.header, kSize), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midiInClose(in), MIDIERR_STILLPLAYING);
  ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(callbacks.Of(MIM_LONGDATA).size(), 3u);
  EXPECT_EQ(first.header.dwBytesRecorded, 0u);
  for (Buffer* buffer : {&first, &second, &third}) {
    EXPECT_EQ(midiInUnprepareHeader(in, &buffer->header, kSize), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

TEST(MidiMemoryTest, LockedBlocksAreZeroFilledAndStayPut) {
  const size_t blocks = GlobalBlockCount();
  HGLOBAL handle = nullptr;
  auto* bytes = static_cast<BYTE*>(GlobalSharedLockedAlloc(4096, handle));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::count(bytes, bytes + 4096, 0), 4096);
  EXPECT_EQ(GlobalLock(handle), bytes);
  EXPECT_NE(GlobalUnlock(handle), 0);  // still locked once
  EXPECT_EQ(GlobalBlockCount(), blocks + 1);
  GlobalSharedLockedFree(handle, bytes);
  EXPECT_EQ(GlobalBlockCount(), blocks);
  EXPECT_EQ(GlobalLock(handle), nullptr);

  // An empty block cannot be locked: nothing is returned and nothing is kept.
  EXPECT_EQ(GlobalSharedLockedAlloc(0, handle), nullptr);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(GlobalBlockCount(), blocks);
  GlobalSharedLockedFree(nullptr, nullptr);
}

TEST(MidiMemoryTest, HeaderOwnerPointsItsHeaderAtItsBuffer) {
  const size_t blocks = GlobalBlockCount();
  {
    TMyMidiHdr owner(8);
    ASSERT_NE(owner.Header, nullptr);
    EXPECT_EQ(owner.Header->lpData, reinterpret_cast<LPSTR>(owner.Data));
    EXPECT_EQ(owner.Header->dwBufferLength, 8u);
    EXPECT_EQ(owner.Header->dwFlags, 0u);
    EXPECT_EQ(GlobalBlockCount(), blocks + 2);
    TMyMidiHdr empty(0);
    EXPECT_EQ(empty.Header, nullptr);
    EXPECT_EQ(GlobalBlockCount(), blocks + 2);
  }
  EXPECT_EQ(GlobalBlockCount(), blocks);
}

TEST(NotifyWindowTest, MessagesPostedFromAnyThreadArriveOnTheGuiThreadInOrder) {
  std::vector<TMessage> received;
  std::vector<std::thread::id> threads;
  HWND window = AllocateHWnd([&](TMessage& message) {
    received.push_back(message);
    threads.push_back(std::this_thread::get_id());
  });
  std::thread poster([window] {
    for (UINT i = 0; i < 3; ++i) EXPECT_TRUE(PostMessageA(window, MOM_DONE + i, i, -LPARAM(i)));
  });
  poster.join();
  EXPECT_TRUE(received.empty());  // not before the GUI thread looks

  DispatchPostedMessages(window);
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[2].Msg, MOM_DONE + 2);
  EXPECT_EQ(received[2].WParam, 2u);
  EXPECT_EQ(received[2].LParam, -2);
  EXPECT_EQ(threads[0], std::this_thread::get_id());

  PostMessageA(window, WM_USER, 0, 0);
  DeallocateHWnd(window);  // drops the pending message
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(received.size(), 3u);
  EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
}

TEST(MidiHandlerTest, DoneIsPostedToTheBlocksWindowAndOpenCloseAreNot) {
  std::vector<TMessage> received;
  TMidiNotifyBlock block{};
  block.NotifyWindow = AllocateHWnd([&](TMessage& message) { received.push_back(message); });
  const auto instance = reinterpret_cast<DWORD_PTR>(&block);
  MIDIHDR header{};
  midiHandler(nullptr, MOM_OPEN, instance, 0, 0);
  midiHandler(nullptr, MOM_DONE, instance, reinterpret_cast<DWORD_PTR>(&header), 0);
  midiHandler(nullptr, MOM_CLOSE, instance, 0, 0);
  midiHandler(nullptr, MOM_DONE, 0, reinterpret_cast<DWORD_PTR>(&header), 0);  // no block
  DispatchPostedMessages(block.NotifyWindow);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].Msg, MOM_DONE);
  EXPECT_EQ(received[0].WParam, 0u);
  EXPECT_EQ(received[0].LParam, reinterpret_cast<LPARAM>(&header));
  DeallocateHWnd(block.NotifyWindow);
}

}  // namespace
