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
    OutGetDevInfo,
    InGetDevInfo,
  };
  // The output mapper's device number in this class's accessors.
  static constexpr int kMapper = -1;

  VirtualMidiBackend();
  ~VirtualMidiBackend() override;

  // ---- devices ----
  // Each device is known to a test by the number Add/Insert returned, whatever
  // its place in the service's list. Added devices go to the end of the list, so
  // until a test inserts or unplugs one, that number is also its device number.
  // A device keeps its whole name (its caps carry the first 31 bytes), and by
  // default the identity "virtual-out-<number>" or "virtual-in-<number>".
  static MIDIOUTCAPSA OutputCaps(std::string_view name, WORD technology = MOD_MIDIPORT);
  static MIDIINCAPSA InputCaps(std::string_view name);
  int AddOutputDevice(std::string_view name, WORD technology = MOD_MIDIPORT);
  int AddOutputDevice(const MIDIOUTCAPSA& caps);
  int AddInputDevice(std::string_view name);
  int AddInputDevice(const MIDIINCAPSA& caps);
  // A device that appears at that place in the list: those from there on move up.
  int InsertOutputDevice(int position, std::string_view name, WORD technology = MOD_MIDIPORT);
  int InsertInputDevice(int position, std::string_view name);
  void SetOutputIdentity(int device, std::string identity, std::string address = {});
  void SetInputIdentity(int device, std::string identity, std::string address = {});
  // The device leaves the list; a port open on it fails every send with
  // MMSYSERR_NODRIVER until it is plugged in again, at the place it had.
  void UnplugOutput(int device);
  void ReplugOutput(int device);
  // Where the device is in the list now, or -1 while it is unplugged.
  int OutputNumber(int device) const;
  // By default the mapper ("Virtual MIDI Mapper", MOD_MAPPER) exists while there is
  // an output device; nullopt removes it, caps replace it.
  void SetMapper(std::optional<MIDIOUTCAPSA> caps);

  // ---- scripted results ----
  // The next `times` calls of that operation return code instead of doing anything.
  void FailNext(Call call, MMRESULT code, int times = 1);
  // Every call of that operation returns code until ClearFailures.
  void FailAlways(Call call, MMRESULT code);
  void ClearFailures();
  // Runs action (on the calling thread) when that operation is next called,
  // before it does anything: the devices may change just as a port opens.
  void BeforeNext(Call call, std::function<void()> action);
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
  MMRESULT OutGetDevInfo(UINT device, MidiDeviceInfo& info) override;
  MMRESULT OutOpen(UINT device, MidiOutClient& client, std::unique_ptr<Port>& port) override;
  MMRESULT OutClose(Port& port) override;
  MMRESULT OutShortMsg(Port& port, DWORD message) override;
  MMRESULT OutPrepareHeader(Port& port, MIDIHDR& header) override;
  MMRESULT OutLongMsg(Port& port, MIDIHDR& header) override;
  MMRESULT OutUnprepareHeader(Port& port, MIDIHDR& header) override;
  MMRESULT OutSetVolume(UINT device, DWORD volume) override;
  UINT InGetNumDevs() override;
  MMRESULT InGetDevCaps(UINT device, MIDIINCAPSA& caps) override;
  MMRESULT InGetDevInfo(UINT device, MidiDeviceInfo& info) override;
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
    MidiDeviceInfo info;
    int unplugged_at = -1;  // its place in the list before it went
  };
  struct InDevice {
    MIDIINCAPSA caps{};
    InPort* open = nullptr;
    MidiDeviceInfo info;
  };
  static constexpr size_t kCalls = static_cast<size_t>(Call::InGetDevInfo) + 1;

  MMRESULT Check(Call call);
  void RunHook(Call call);  // without mutex_ held
  bool MapperPresent() const;
  // By a test's number (kMapper for the mapper), present or not.
  OutDevice* FindOut(int device);
  const OutDevice* FindOut(int device) const;
  // A service device number's test number: kMapper, or -2 when there is none.
  int OutKey(UINT device) const;
  int InKey(UINT device) const;
  bool Unplugged(int device) const;
  std::vector<std::vector<BYTE>>& Record(int device);  // of an open port's device
  InPort* StartedInput(int device);
  uint64_t Enqueue(std::function<void()> task);  // under mutex_; returns its ticket
  void WaitFor(std::unique_lock<std::mutex>& lock, uint64_t ticket) const;
  void Run();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<OutDevice> outputs_;
  std::vector<InDevice> inputs_;
  std::vector<int> out_list_;  // the devices present, in the service's order
  std::vector<int> in_list_;
  std::function<void()> hooks_[kCalls];
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
