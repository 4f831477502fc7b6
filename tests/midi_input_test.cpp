// The input port and its ring buffer, on the virtual MIDI service whose callbacks
// come from a thread of its own.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include "midi/circular_buffer.h"
#include "midi/midi_input.h"
#include "midi/platform/virtual_backend.h"
#include "support/test_support.h"

namespace {

using Call = VirtualMidiBackend::Call;
using testing_support::Hex;

class InputPort : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<VirtualMidiBackend>();
    midi = backend.get();
    midi->AddInputDevice("Keyboard In");
    midi->AddInputDevice("Sequencer In");
    SetMidiBackend(std::move(backend));
    port = std::make_unique<TMidiInput>(nullptr);
    port->OnMidiInput = [this](TObject*) { ++notices; };
    port->OnOverflow = [this](TObject*) { ++overflows; };
  }
  void TearDown() override {
    port.reset();
    SetMidiBackend(nullptr);
  }
  void OpenAndStart() {
    port->Open();
    ASSERT_EQ(port->State(), misOpen);
    port->Start();
  }
  // Lets the callback thread finish and the GUI thread take its notices.
  void Deliver() {
    midi->WaitIdle();
    QCoreApplication::sendPostedEvents();
  }

  VirtualMidiBackend* midi = nullptr;
  std::unique_ptr<TMidiInput> port;
  int notices = 0;
  int overflows = 0;
};

TEST(InputPortDevices, WithoutAnyInputDeviceTheConstructorRaises) {
  SetMidiBackend(std::make_unique<VirtualMidiBackend>());
  try {
    TMidiInput port(nullptr);
    FAIL() << "constructed without a device";
  } catch (const EMidiInputError& error) {
    EXPECT_STREQ(error.what(), "Invalid device ID");
  }
  SetMidiBackend(nullptr);
}

TEST_F(InputPort, SelectsDevicesByNumberAndByName) {
  EXPECT_EQ(port->DeviceID(), 0);
  EXPECT_EQ(port->ProductName(), "Keyboard In");
  port->SetDeviceID(1);
  EXPECT_EQ(port->ProductName(), "Sequencer In");
  port->SetProductName("Keyboard In");
  EXPECT_EQ(port->DeviceID(), 0);
  try {
    port->SetProductName("Nothing");
    FAIL();
  } catch (const EMidiInputError& error) {
    EXPECT_STREQ(error.what(), "MIDI Input Device Nothing not installed ");
  }
  EXPECT_EQ(port->DeviceID(), 0);
  EXPECT_THROW(port->SetDeviceID(2), EMidiInputError);

  TComponent form;
  TMidiInput loaded(&form);
  form.SetLoading(true);
  loaded.SetProductName("A name stored with the form");  // ignored while loading
  EXPECT_EQ(loaded.ProductName(), "Keyboard In");
}

// Devices come and go between the choice of a device and its open: the port
// opens the device chosen, wherever it has moved, or fails when it has gone.
TEST_F(InputPort, OpenGoesToTheChosenDeviceWhereverTheListMovedIt) {
  const std::string longName = "a2j:Keyboard [24] (capture): Keyboard MIDI 2";
  const int chosen = midi->AddInputDevice(longName);
  midi->AddInputDevice("a2j:Keyboard [24] (capture): Keyboard MIDI 1");
  port->SetProductName(longName);  // the whole name: the caps cut both alike
  EXPECT_EQ(port->DeviceID(), 2);
  midi->InsertInputDevice(0, "Plugged In Meanwhile");
  midi->BeforeNext(Call::InOpen, [&] { midi->InsertInputDevice(0, "Plugged In Now"); });
  OpenAndStart();
  EXPECT_EQ(port->DeviceID(), 4);
  EXPECT_TRUE(midi->InputOpen(chosen));
  for (int device = 0; device < 6; ++device) {
    midi->InjectShort(device, 0x400090 | DWORD(0x3C + device) << 8, 0);
  }
  Deliver();
  auto event = port->GetMidiEvent();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->DataByte1, 0x3C + chosen);
  EXPECT_EQ(port->GetMidiEvent(), nullptr);
}

TEST_F(InputPort, SettingsRaiseWhileOpen) {
  OpenAndStart();
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { port->SetDeviceID(1); }, "Change to DeviceID while device was open"},
      {[&] { port->SetProductName("Keyboard In"); }, "Change to ProductName while device was open"},
      {[&] { port->SetSysexBufferSize(10); }, "Change to SysexBufferSize while device was open"},
      {[&] { port->SetSysexBufferCount(2); }, "Change to SysexBuffercount while device was open"},
  };
  for (const auto& [change, text] : cases) {
    try {
      change();
      ADD_FAILURE() << text;
    } catch (const EMidiInputError& error) {
      EXPECT_EQ(error.what(), text);
    }
  }
}

TEST_F(InputPort, NoteOnComesBackAsAShortEvent) {
  OpenAndStart();
  midi->InjectShort(0, 0x643C90, 1234);
  Deliver();
  EXPECT_EQ(notices, 1);
  ASSERT_EQ(port->GetEventCount(), 1);
  auto event = port->GetMidiEvent();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->StatusByte, 0x90);
  EXPECT_EQ(event->DataByte1, 0x3C);
  EXPECT_EQ(event->DataByte2, 0x64);
  EXPECT_EQ(event->Timestamp, 1234u);
  EXPECT_EQ(event->SysexData, nullptr);
  EXPECT_EQ(event->SysexSize, 0);
  EXPECT_EQ(port->GetMidiEvent(), nullptr);
}

TEST_F(InputPort, SysexComesBackWithItsBytesAndTheBufferGoesBackToTheDevice) {
  OpenAndStart();
  EXPECT_EQ(midi->InputBuffers(0), 16u);
  midi->InjectSysex(0, {0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7}, 77);
  Deliver();
  EXPECT_EQ(midi->InputBuffers(0), 15u);
  auto event = port->GetMidiEvent();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->StatusByte, 0xF0);
  EXPECT_EQ(event->DataByte1, 0);
  EXPECT_EQ(event->DataByte2, 0);
  ASSERT_EQ(event->SysexSize, 8);
  EXPECT_EQ(Hex(event->SysexData, event->SysexSize), "F0 70 7B 00 29 05 0A F7");
  EXPECT_EQ(midi->InputBuffers(0), 16u);
}

TEST_F(InputPort, ActiveSensingAndClockAreNeverQueued) {
  OpenAndStart();
  midi->InjectShort(0, 0xFE, 1);
  midi->InjectShort(0, 0xF8, 2);
  midi->InjectShort(0, 0x0040B0, 3);
  Deliver();
  ASSERT_EQ(port->GetEventCount(), 1);
  EXPECT_EQ(port->GetMidiEvent()->StatusByte, 0xB0);
}

TEST_F(InputPort, SysexOnlyQueuesSysexButNoShortMessages) {
  port->SetSysexOnly(true);
  OpenAndStart();
  midi->InjectShort(0, 0x643C90, 1);
  midi->InjectSysex(0, {0xF0, 0x01, 0xF7}, 2);
  Deliver();
  ASSERT_EQ(port->GetEventCount(), 1);
  EXPECT_EQ(port->GetMidiEvent()->StatusByte, 0xF0);

  port->SetSysexOnly(false);  // takes effect while open
  midi->InjectShort(0, 0x643C90, 3);
  Deliver();
  EXPECT_EQ(port->GetEventCount(), 1);
}

TEST_F(InputPort, FullBufferDropsTheNewEventAndSignalsOverflow) {
  OpenAndStart();
  for (DWORD i = 0; i < 1025; ++i) midi->InjectShort(0, 0x90 | ((i % 128) << 8), i);
  midi->WaitIdle();  // the GUI thread has been busy meanwhile
  EXPECT_EQ(port->GetEventCount(), 1024);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(overflows, 1);
  EXPECT_EQ(notices, 1024);
  for (DWORD i = 0; i < 1024; ++i) {
    auto event = port->GetMidiEvent();
    ASSERT_TRUE(event);
    ASSERT_EQ(event->Timestamp, i);  // in the order they came
  }
  EXPECT_EQ(port->GetMidiEvent(), nullptr);
}

TEST_F(InputPort, HandlerThatDrainsTheBufferIsNotCalledForEventsAlreadyTaken) {
  port->OnMidiInput = [this](TObject*) {
    ++notices;
    while (port->GetMidiEvent()) {
    }
  };
  OpenAndStart();
  for (DWORD i = 0; i < 5; ++i) midi->InjectShort(0, 0x643C90, i);
  Deliver();
  EXPECT_EQ(notices, 1);
}

TEST_F(InputPort, ClosedPortGivesNothingAndStartStopDoNothing) {
  EXPECT_EQ(port->GetMidiEvent(), nullptr);
  EXPECT_EQ(port->GetEventCount(), 0);
  port->Start();
  port->Stop();
  EXPECT_EQ(midi->CallCount(Call::InStart), 0);
  EXPECT_EQ(midi->CallCount(Call::InStop), 0);

  OpenAndStart();
  midi->InjectShort(0, 0x643C90, 1);
  midi->WaitIdle();
  port->Close();
  EXPECT_EQ(port->State(), misClosed);
  EXPECT_FALSE(midi->InputOpen(0));
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(notices, 0);  // the notice finds the port closed
  EXPECT_EQ(port->GetMidiEvent(), nullptr);
}

TEST_F(InputPort, FailedOpenStaysClosedAndReleasesTheDevice) {
  midi->FailNext(Call::InOpen, MMSYSERR_ALLOCATED);
  port->Open();
  EXPECT_EQ(port->State(), misClosed);
  EXPECT_EQ(port->EventBuffer(), nullptr);
  EXPECT_EQ(port->NotifyBlock(), nullptr);

  // Failing after the device was opened: the device is closed before the block
  // and ring buffer it was given are released.
  midi->FailNext(Call::InAddBuffer, MMSYSERR_NOMEM);
  port->Open();
  EXPECT_EQ(port->State(), misClosed);
  EXPECT_FALSE(midi->InputOpen(0));
  EXPECT_EQ(port->EventBuffer(), nullptr);
  EXPECT_EQ(port->NotifyBlock(), nullptr);

  OpenAndStart();  // and it can still be opened
  EXPECT_TRUE(midi->InputStarted(0));
}

TEST_F(InputPort, FailureToReturnTheBufferRaisesAndKeepsTheEvent) {
  OpenAndStart();
  midi->InjectSysex(0, {0xF0, 0x01, 0xF7}, 5);
  Deliver();
  midi->FailNext(Call::InAddBuffer, MMSYSERR_NOMEM);
  EXPECT_THROW(port->GetMidiEvent(), EMidiInputError);
  EXPECT_EQ(port->GetEventCount(), 1);
}

TEST(RingBuffer, KeepsOrderAcrossTheWrapAndRefusesWhenFull) {
  TCircularBuffer* buffer = CircbufAlloc(3);
  ASSERT_NE(buffer, nullptr);
  TMidiBufferItem item{};
  EXPECT_FALSE(CircbufReadEvent(buffer, item));
  EXPECT_FALSE(CircbufRemoveEvent(buffer));
  DWORD next = 0;
  DWORD expected = 0;
  for (int round = 0; round < 4; ++round) {
    while (CircbufPutEvent(buffer, {next, next, nullptr})) ++next;
    EXPECT_EQ(buffer->Count, 3);
    ASSERT_TRUE(CircbufReadEvent(buffer, item));
    EXPECT_EQ(item.Timestamp, expected);
    ASSERT_TRUE(CircbufRemoveEvent(buffer));
    ++expected;
  }
  CircbufFree(buffer);
}

TEST(RingBuffer, CapacityIsLimitedBySixteenBitAllocations) {
  TCircularBuffer* largest = CircbufAlloc(5461);
  EXPECT_NE(largest, nullptr);
  CircbufFree(largest);
  EXPECT_EQ(CircbufAlloc(5462), nullptr);
  EXPECT_EQ(CircbufAlloc(0), nullptr);
}

}  // namespace
