#pragma once

// A MIDI service for tests: scripted devices and result codes, a record of every
// message sent, and input that a test injects. Like a real service it delivers
// MOM_DONE and the MIM_* messages on a thread of its own.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "midi/platform/midi_backend.h"

class VirtualMidiBackend final : public MidiBackend {
 public:
  // The backend operations whose results a test can script.
  enum class Call {
    OutGetDevCaps,
    OutOpen,
    OutClose,
    OutShortMsg,
    OutPrepareHeader,
    OutLongMsg,
    OutUnprepareHeader,
    OutSetVolume,
    InGetDevCaps,
    InOpen,
    InClose,
    InPrepareHeader,
    InUnprepareHeader,
    InAddBuffer,
    InStart,
    InStop,
    InReset,
  };
  // The output mapper's device number in this class's accessors.
  static constexpr int kMapper = -1;

  VirtualMidiBackend();
  ~VirtualMidiBackend() override;

  // ---- devices (numbered in the order added) ----
  static MIDIOUTCAPSA OutputCaps(std::string_view name, WORD technology = MOD_MIDIPORT);
  static MIDIINCAPSA InputCaps(std::string_view name);
  int AddOutputDevice(std::string_view name, WORD technology = MOD_MIDIPORT);
  int AddOutputDevice(const MIDIOUTCAPSA& caps);
  int AddInputDevice(std::string_view name);
  int AddInputDevice(const MIDIINCAPSA& caps);
  // By default the mapper ("Virtual MIDI Mapper", MOD_MAPPER) exists while there is
  // an output device; nullopt removes it, caps replace it.
  void SetMapper(std::optional<MIDIOUTCAPSA> caps);

  // ---- scripted results ----
  // The next `times` calls of that operation return code instead of doing anything.
  void FailNext(Call call, MMRESULT code, int times = 1);
  // Every call of that operation returns code until ClearFailures.
  void FailAlways(Call call, MMRESULT code);
  void ClearFailures();
  // Calls that reached this backend, failed ones included.
  int CallCount(Call call) const;
  // Every API function called while this backend was current, in order.
  std::vector<std::string> ApiCalls() const;
  void ClearApiCalls();
  // Output devices whose capabilities were asked for, in order (mapper = kMapper).
  std::vector<int> OutCapsQueries() const;

  // ---- output ----
  // Every message sent to the device, short and long, in order, as the wire has
  // it. Waits until the worker has sent everything queued so far.
  std::vector<std::vector<BYTE>> Sent(int device) const;
  std::optional<DWORD> Volume(int device) const;
  bool OutputOpen(int device) const;
  // How long each long message takes to send.
  void SetSendDelay(std::chrono::milliseconds delay);
  // The next long message is taken, but reaches no device (it went meanwhile):
  // its done notice says why.
  void LoseNextLong(MMRESULT why);

  // ---- input (delivered only while the device is open and started) ----
  void InjectShort(int device, DWORD message, DWORD timestamp);
  // Fills the added buffers in order, each returned with MIM_LONGDATA;
  // an incomplete message returns its last buffer with MIM_LONGERROR.
  void InjectSysex(int device, std::vector<BYTE> bytes, DWORD timestamp, bool complete = true);
  void InjectInvalid(int device, DWORD message, DWORD timestamp);  // MIM_ERROR
  size_t InputBuffers(int device) const;
  bool InputOpen(int device) const;
  bool InputStarted(int device) const;

  // ---- the worker ----
  // Returns when everything queued so far has been delivered.
  void WaitIdle() const;
  std::thread::id WorkerThread() const { return worker_.get_id(); }

  // ---- MidiBackend ----
  std::string Name() const override { return "virtual"; }
  // Counts the devices added.
  unsigned long DeviceGeneration() const override { return generation_.load(); }
  void Trace(std::string_view function) override;
  UINT OutGetNumDevs() override;
  MMRESULT OutGetDevCaps(UINT device, MIDIOUTCAPSA& caps) override;
  MMRESULT OutOpen(UINT device, MidiOutClient& client, std::unique_ptr<Port>& port) override;
  MMRESULT OutClose(Port& port) override;
  MMRESULT OutShortMsg(Port& port, DWORD message) override;
  MMRESULT OutPrepareHeader(Port& port, MIDIHDR& header) override;
  MMRESULT OutLongMsg(Port& port, MIDIHDR& header) override;
  MMRESULT OutUnprepareHeader(Port& port, MIDIHDR& header) override;
  MMRESULT OutSetVolume(UINT device, DWORD volume) override;
  UINT InGetNumDevs() override;
  MMRESULT InGetDevCaps(UINT device, MIDIINCAPSA& caps) override;
  MMRESULT InOpen(UINT device, MidiInClient& client, std::unique_ptr<Port>& port) override;
  MMRESULT InClose(Port& port) override;
  MMRESULT InPrepareHeader(Port& port, MIDIHDR& header) override;
  MMRESULT InUnprepareHeader(Port& port, MIDIHDR& header) override;
  MMRESULT InAddBuffer(Port& port, MIDIHDR& header) override;
  MMRESULT InStart(Port& port) override;
  MMRESULT InStop(Port& port) override;
  MMRESULT InReset(Port& port) override;

 private:
  struct OutPort;
  struct InPort;
  struct OutDevice {
    MIDIOUTCAPSA caps{};
    OutPort* open = nullptr;
    std::vector<std::vector<BYTE>> sent;
    std::optional<DWORD> volume;
  };
  struct InDevice {
    MIDIINCAPSA caps{};
    InPort* open = nullptr;
  };
  static constexpr size_t kCalls = static_cast<size_t>(Call::InReset) + 1;

  MMRESULT Check(Call call);
  bool MapperPresent() const;
  OutDevice* FindOut(int device);
  const OutDevice* FindOut(int device) const;
  std::vector<std::vector<BYTE>>& Record(int device);  // of an open port's device
  InPort* StartedInput(int device);
  uint64_t Enqueue(std::function<void()> task);  // under mutex_; returns its ticket
  void WaitFor(std::unique_lock<std::mutex>& lock, uint64_t ticket) const;
  void Run();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<OutDevice> outputs_;
  std::vector<InDevice> inputs_;
  OutDevice mapper_;
  std::optional<bool> mapper_present_;  // unset: present while there is an output
  std::deque<MMRESULT> next_results_[kCalls];
  MMRESULT always_results_[kCalls] = {};
  int calls_[kCalls] = {};
  std::vector<std::string> api_calls_;
  std::vector<int> caps_queries_;
  std::chrono::milliseconds send_delay_{0};
  MMRESULT lose_next_long_ = MMSYSERR_NOERROR;

  std::deque<std::function<void()>> tasks_;
  uint64_t queued_ = 0;
  uint64_t finished_ = 0;
  bool stopping_ = false;
  std::thread worker_;
  std::atomic<unsigned long> generation_{0};
};
