#include "midi/platform/virtual_backend.h"

#include "midi/platform/midi_streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

struct VirtualMidiBackend::OutPort final : MidiBackend::Port {
  int device = 0;
  MidiOutClient* client = nullptr;
  BYTE running_status = 0;  // worker thread only
};

struct VirtualMidiBackend::InPort final : MidiBackend::Port {
  int device = 0;
  MidiInClient* client = nullptr;
  std::deque<MIDIHDR*> buffers;
  bool started = false;
  bool closing = false;
};

namespace {

// A short message's bytes; a message without a status byte continues the
// running status of the last channel message.
std::vector<BYTE> ShortBytes(DWORD message, BYTE& running_status) {
  const BYTE first = message & 0xFF;
  int count;
  if (first < 0x80) {
    count = running_status ? MidiMessageLength(running_status) - 1 : 1;
  } else {
    count = MidiMessageLength(first);
    if (first < 0xF0) {
      running_status = first;
    } else if (first < 0xF8) {
      running_status = 0;
    }
  }
  std::vector<BYTE> bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<BYTE>(message >> (8 * i)));
  return bytes;
}

constexpr int kNoDevice = -2;
constexpr int kAtTheEnd = std::numeric_limits<int>::max();

std::string CapsName(const char (&name)[MAXPNAMELEN]) {
  return std::string(name, strnlen(name, MAXPNAMELEN));
}

MidiDeviceInfo DefaultInfo(std::string_view name, const char* kind, int device) {
  return {std::string(name), std::string("virtual-") + kind + "-" + std::to_string(device), {}};
}

void CopyName(char (&target)[MAXPNAMELEN], std::string_view name) {
  const size_t count = std::min<size_t>(name.size(), MAXPNAMELEN - 1);
  std::memcpy(target, name.data(), count);
  target[count] = '\0';
}

}  // namespace

VirtualMidiBackend::VirtualMidiBackend()
    : mapper_{OutputCaps("Virtual MIDI Mapper", MOD_MAPPER), nullptr, {}, {}, {}, -1},
      worker_([this] { Run(); }) {}

VirtualMidiBackend::~VirtualMidiBackend() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

MIDIOUTCAPSA VirtualMidiBackend::OutputCaps(std::string_view name, WORD technology) {
  MIDIOUTCAPSA caps{};
  caps.wMid = 0xFFFF;
  caps.wPid = 0xFFFF;
  caps.vDriverVersion = 0x0100;
  CopyName(caps.szPname, name);
  caps.wTechnology = technology;
  caps.wChannelMask = 0xFFFF;
  caps.dwSupport = MIDICAPS_VOLUME | MIDICAPS_LRVOLUME;
  return caps;
}

MIDIINCAPSA VirtualMidiBackend::InputCaps(std::string_view name) {
  MIDIINCAPSA caps{};
  caps.wMid = 0xFFFF;
  caps.wPid = 0xFFFF;
  caps.vDriverVersion = 0x0100;
  CopyName(caps.szPname, name);
  return caps;
}

int VirtualMidiBackend::AddOutputDevice(std::string_view name, WORD technology) {
  return InsertOutputDevice(kAtTheEnd, name, technology);
}

int VirtualMidiBackend::AddOutputDevice(const MIDIOUTCAPSA& caps) {
  std::lock_guard lock(mutex_);
  const int device = static_cast<int>(outputs_.size());
  const MidiDeviceInfo info = DefaultInfo(CapsName(caps.szPname), "out", device);
  outputs_.push_back(OutDevice{caps, nullptr, {}, {}, info, -1});
  out_list_.push_back(device);
  ++generation_;
  return device;
}

int VirtualMidiBackend::InsertOutputDevice(int position, std::string_view name, WORD technology) {
  std::lock_guard lock(mutex_);
  const int device = static_cast<int>(outputs_.size());
  const MidiDeviceInfo info = DefaultInfo(name, "out", device);
  outputs_.push_back(OutDevice{OutputCaps(name, technology), nullptr, {}, {}, info, -1});
  position = std::clamp(position, 0, static_cast<int>(out_list_.size()));
  out_list_.insert(out_list_.begin() + position, device);
  ++generation_;
  return device;
}

int VirtualMidiBackend::AddInputDevice(std::string_view name) {
  return InsertInputDevice(kAtTheEnd, name);
}

int VirtualMidiBackend::AddInputDevice(const MIDIINCAPSA& caps) {
  std::lock_guard lock(mutex_);
  const int device = static_cast<int>(inputs_.size());
  inputs_.push_back(InDevice{caps, nullptr, DefaultInfo(CapsName(caps.szPname), "in", device)});
  in_list_.push_back(device);
  ++generation_;
  return device;
}

int VirtualMidiBackend::InsertInputDevice(int position, std::string_view name) {
  std::lock_guard lock(mutex_);
  const int device = static_cast<int>(inputs_.size());
  inputs_.push_back(InDevice{InputCaps(name), nullptr, DefaultInfo(name, "in", device)});
  position = std::clamp(position, 0, static_cast<int>(in_list_.size()));
  in_list_.insert(in_list_.begin() + position, device);
  ++generation_;
  return device;
}

void VirtualMidiBackend::SetOutputIdentity(int device, std::string identity, std::string address) {
  std::lock_guard lock(mutex_);
  if (OutDevice* out = FindOut(device)) {
    out->info.identity = std::move(identity);
    out->info.address = std::move(address);
  }
}

void VirtualMidiBackend::SetInputIdentity(int device, std::string identity, std::string address) {
  std::lock_guard lock(mutex_);
  if (device < 0 || device >= static_cast<int>(inputs_.size())) return;
  inputs_[device].info.identity = std::move(identity);
  inputs_[device].info.address = std::move(address);
}

void VirtualMidiBackend::UnplugOutput(int device) {
  std::lock_guard lock(mutex_);
  const auto at = std::find(out_list_.begin(), out_list_.end(), device);
  if (at == out_list_.end()) return;
  outputs_[device].unplugged_at = static_cast<int>(at - out_list_.begin());
  out_list_.erase(at);
  ++generation_;
}

void VirtualMidiBackend::ReplugOutput(int device) {
  std::lock_guard lock(mutex_);
  if (device < 0 || device >= static_cast<int>(outputs_.size())) return;
  OutDevice& out = outputs_[device];
  if (out.unplugged_at < 0) return;
  const int position = std::min(out.unplugged_at, static_cast<int>(out_list_.size()));
  out_list_.insert(out_list_.begin() + position, device);
  out.unplugged_at = -1;
  ++generation_;
}

int VirtualMidiBackend::OutputNumber(int device) const {
  std::lock_guard lock(mutex_);
  const auto at = std::find(out_list_.begin(), out_list_.end(), device);
  return at == out_list_.end() ? -1 : static_cast<int>(at - out_list_.begin());
}

void VirtualMidiBackend::SetMapper(std::optional<MIDIOUTCAPSA> caps) {
  std::lock_guard lock(mutex_);
  mapper_present_ = caps.has_value();
  if (caps) mapper_.caps = *caps;
}

// ---- scripted results ----

void VirtualMidiBackend::FailNext(Call call, MMRESULT code, int times) {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < times; ++i) next_results_[static_cast<size_t>(call)].push_back(code);
}

void VirtualMidiBackend::FailAlways(Call call, MMRESULT code) {
  std::lock_guard lock(mutex_);
  always_results_[static_cast<size_t>(call)] = code;
}

void VirtualMidiBackend::BeforeNext(Call call, std::function<void()> action) {
  std::lock_guard lock(mutex_);
  hooks_[static_cast<size_t>(call)] = std::move(action);
}

void VirtualMidiBackend::RunHook(Call call) {
  std::function<void()> action;
  {
    std::lock_guard lock(mutex_);
    action = std::exchange(hooks_[static_cast<size_t>(call)], nullptr);
  }
  if (action) action();
}

void VirtualMidiBackend::ClearFailures() {
  std::lock_guard lock(mutex_);
  for (auto& results : next_results_) results.clear();
  std::fill(std::begin(always_results_), std::end(always_results_), MMSYSERR_NOERROR);
}

int VirtualMidiBackend::CallCount(Call call) const {
  std::lock_guard lock(mutex_);
  return calls_[static_cast<size_t>(call)];
}

std::vector<std::string> VirtualMidiBackend::ApiCalls() const {
  std::lock_guard lock(mutex_);
  return api_calls_;
}

void VirtualMidiBackend::ClearApiCalls() {
  std::lock_guard lock(mutex_);
  api_calls_.clear();
  caps_queries_.clear();
}

std::vector<int> VirtualMidiBackend::OutCapsQueries() const {
  std::lock_guard lock(mutex_);
  return caps_queries_;
}

void VirtualMidiBackend::Trace(std::string_view function) {
  std::lock_guard lock(mutex_);
  api_calls_.emplace_back(function);
}

MMRESULT VirtualMidiBackend::Check(Call call) {
  const auto index = static_cast<size_t>(call);
  ++calls_[index];
  auto& next = next_results_[index];
  if (!next.empty()) {
    const MMRESULT result = next.front();
    next.pop_front();
    return result;
  }
  return always_results_[index];
}

// ---- output ----

bool VirtualMidiBackend::MapperPresent() const {
  return mapper_present_.value_or(!out_list_.empty());
}

int VirtualMidiBackend::OutKey(UINT device) const {
  if (device == MIDI_MAPPER) return MapperPresent() ? kMapper : kNoDevice;
  return device < out_list_.size() ? out_list_[device] : kNoDevice;
}

bool VirtualMidiBackend::Unplugged(int device) const {
  const OutDevice* out = FindOut(device);
  return out && out->unplugged_at >= 0;
}

int VirtualMidiBackend::InKey(UINT device) const {
  return device < in_list_.size() ? in_list_[device] : kNoDevice;
}

VirtualMidiBackend::OutDevice* VirtualMidiBackend::FindOut(int device) {
  if (device == kMapper) return MapperPresent() ? &mapper_ : nullptr;
  if (device < 0 || device >= static_cast<int>(outputs_.size())) return nullptr;
  return &outputs_[device];
}

const VirtualMidiBackend::OutDevice* VirtualMidiBackend::FindOut(int device) const {
  return const_cast<VirtualMidiBackend*>(this)->FindOut(device);
}

std::vector<std::vector<BYTE>>& VirtualMidiBackend::Record(int device) {
  return device == kMapper ? mapper_.sent : outputs_[device].sent;
}

std::vector<std::vector<BYTE>> VirtualMidiBackend::Sent(int device) const {
  WaitIdle();
  std::lock_guard lock(mutex_);
  if (device == kMapper) return mapper_.sent;
  const OutDevice* out = FindOut(device);
  return out ? out->sent : std::vector<std::vector<BYTE>>{};
}

std::optional<DWORD> VirtualMidiBackend::Volume(int device) const {
  std::lock_guard lock(mutex_);
  if (device == kMapper) return mapper_.volume;
  const OutDevice* out = FindOut(device);
  return out ? out->volume : std::nullopt;
}

bool VirtualMidiBackend::OutputOpen(int device) const {
  std::lock_guard lock(mutex_);
  const OutDevice* out = FindOut(device);
  return out && out->open;
}

void VirtualMidiBackend::SetSendDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  send_delay_ = delay;
}

void VirtualMidiBackend::LoseNextLong(MMRESULT why) {
  std::lock_guard lock(mutex_);
  lose_next_long_ = why;
}

UINT VirtualMidiBackend::OutGetNumDevs() {
  std::lock_guard lock(mutex_);
  return static_cast<UINT>(out_list_.size());
}

MMRESULT VirtualMidiBackend::OutGetDevCaps(UINT device, MIDIOUTCAPSA& caps) {
  RunHook(Call::OutGetDevCaps);
  std::lock_guard lock(mutex_);
  caps_queries_.push_back(device == MIDI_MAPPER ? kMapper : static_cast<int>(device));
  if (MMRESULT result = Check(Call::OutGetDevCaps)) return result;
  const OutDevice* out = FindOut(OutKey(device));
  if (!out) return MMSYSERR_BADDEVICEID;
  caps = out->caps;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::OutGetDevInfo(UINT device, MidiDeviceInfo& info) {
  RunHook(Call::OutGetDevInfo);
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::OutGetDevInfo)) return result;
  const OutDevice* out = FindOut(OutKey(device));
  if (!out) return MMSYSERR_BADDEVICEID;
  info = out->info;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::OutOpen(UINT device, MidiOutClient& client,
                                     std::unique_ptr<Port>& port) {
  RunHook(Call::OutOpen);
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::OutOpen)) return result;
  const int number = OutKey(device);
  OutDevice* out = FindOut(number);
  if (!out) return MMSYSERR_BADDEVICEID;
  if (out->open) return MMSYSERR_ALLOCATED;
  auto opened = std::make_unique<OutPort>();
  opened->device = number;
  opened->client = &client;
  out->open = opened.get();
  port = std::move(opened);
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::OutClose(Port& port) {
  auto& out_port = static_cast<OutPort&>(port);
  std::unique_lock lock(mutex_);
  if (MMRESULT result = Check(Call::OutClose)) return result;
  // Messages still queued are sent and reported done before the port goes.
  WaitFor(lock, queued_);
  if (OutDevice* out = FindOut(out_port.device)) out->open = nullptr;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::OutShortMsg(Port& port, DWORD message) {
  auto* out_port = &static_cast<OutPort&>(port);
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::OutShortMsg)) return result;
  if (Unplugged(out_port->device)) return MMSYSERR_NODRIVER;
  Enqueue([this, out_port, message] {
    std::vector<BYTE> bytes = ShortBytes(message, out_port->running_status);
    std::lock_guard lock(mutex_);
    Record(out_port->device).push_back(std::move(bytes));
  });
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::OutPrepareHeader(Port&, MIDIHDR&) {
  std::lock_guard lock(mutex_);
  return Check(Call::OutPrepareHeader);
}

MMRESULT VirtualMidiBackend::OutLongMsg(Port& port, MIDIHDR& header) {
  auto* out_port = &static_cast<OutPort&>(port);
  MIDIHDR* sending = &header;
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::OutLongMsg)) return result;
  if (Unplugged(out_port->device)) return MMSYSERR_NODRIVER;
  const auto delay = send_delay_;
  const MMRESULT lost = std::exchange(lose_next_long_, MMSYSERR_NOERROR);
  Enqueue([this, out_port, sending, delay, lost] {
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    if (lost) {
      out_port->client->Undelivered(sending, lost);
      return;
    }
    // Read the bytes only now, as a device would while sending them.
    const auto* data = reinterpret_cast<const BYTE*>(sending->lpData);
    std::vector<BYTE> bytes(data, data + sending->dwBufferLength);
    out_port->running_status = 0;
    {
      std::lock_guard lock(mutex_);
      Record(out_port->device).push_back(std::move(bytes));
    }
    out_port->client->Done(sending);
  });
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::OutUnprepareHeader(Port&, MIDIHDR&) {
  std::lock_guard lock(mutex_);
  return Check(Call::OutUnprepareHeader);
}

MMRESULT VirtualMidiBackend::OutSetVolume(UINT device, DWORD volume) {
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::OutSetVolume)) return result;
  OutDevice* out = FindOut(OutKey(device));
  if (!out) return MMSYSERR_BADDEVICEID;
  out->volume = volume;
  return MMSYSERR_NOERROR;
}

// ---- input ----

UINT VirtualMidiBackend::InGetNumDevs() {
  std::lock_guard lock(mutex_);
  return static_cast<UINT>(in_list_.size());
}

MMRESULT VirtualMidiBackend::InGetDevCaps(UINT device, MIDIINCAPSA& caps) {
  RunHook(Call::InGetDevCaps);
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::InGetDevCaps)) return result;
  const int key = InKey(device);
  if (key == kNoDevice) return MMSYSERR_BADDEVICEID;
  caps = inputs_[key].caps;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::InGetDevInfo(UINT device, MidiDeviceInfo& info) {
  RunHook(Call::InGetDevInfo);
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::InGetDevInfo)) return result;
  const int key = InKey(device);
  if (key == kNoDevice) return MMSYSERR_BADDEVICEID;
  info = inputs_[key].info;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::InOpen(UINT device, MidiInClient& client,
                                    std::unique_ptr<Port>& port) {
  RunHook(Call::InOpen);
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::InOpen)) return result;
  const int key = InKey(device);
  if (key == kNoDevice) return MMSYSERR_BADDEVICEID;
  if (inputs_[key].open) return MMSYSERR_ALLOCATED;
  auto opened = std::make_unique<InPort>();
  opened->device = key;
  opened->client = &client;
  inputs_[key].open = opened.get();
  port = std::move(opened);
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::InClose(Port& port) {
  auto& in_port = static_cast<InPort&>(port);
  std::unique_lock lock(mutex_);
  if (MMRESULT result = Check(Call::InClose)) return result;
  if (!in_port.buffers.empty()) return MIDIERR_STILLPLAYING;
  in_port.closing = true;
  WaitFor(lock, queued_);
  inputs_[in_port.device].open = nullptr;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::InPrepareHeader(Port&, MIDIHDR&) {
  std::lock_guard lock(mutex_);
  return Check(Call::InPrepareHeader);
}

MMRESULT VirtualMidiBackend::InUnprepareHeader(Port&, MIDIHDR&) {
  std::lock_guard lock(mutex_);
  return Check(Call::InUnprepareHeader);
}

MMRESULT VirtualMidiBackend::InAddBuffer(Port& port, MIDIHDR& header) {
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::InAddBuffer)) return result;
  static_cast<InPort&>(port).buffers.push_back(&header);
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::InStart(Port& port) {
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::InStart)) return result;
  static_cast<InPort&>(port).started = true;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::InStop(Port& port) {
  std::lock_guard lock(mutex_);
  if (MMRESULT result = Check(Call::InStop)) return result;
  static_cast<InPort&>(port).started = false;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualMidiBackend::InReset(Port& port) {
  auto* in_port = &static_cast<InPort&>(port);
  std::unique_lock lock(mutex_);
  if (MMRESULT result = Check(Call::InReset)) return result;
  in_port->started = false;
  std::deque<MIDIHDR*> returned;
  returned.swap(in_port->buffers);
  const uint64_t ticket = Enqueue([in_port, returned] {
    for (MIDIHDR* header : returned) in_port->client->LongData(header, 0);
  });
  WaitFor(lock, ticket);
  return MMSYSERR_NOERROR;
}

VirtualMidiBackend::InPort* VirtualMidiBackend::StartedInput(int device) {
  if (device < 0 || device >= static_cast<int>(inputs_.size())) return nullptr;
  InPort* port = inputs_[device].open;
  return port && port->started && !port->closing ? port : nullptr;
}

void VirtualMidiBackend::InjectShort(int device, DWORD message, DWORD timestamp) {
  std::lock_guard lock(mutex_);
  Enqueue([this, device, message, timestamp] {
    std::unique_lock lock(mutex_);
    InPort* port = StartedInput(device);
    lock.unlock();
    if (port) port->client->Data(message, timestamp);
  });
}

void VirtualMidiBackend::InjectInvalid(int device, DWORD message, DWORD timestamp) {
  std::lock_guard lock(mutex_);
  Enqueue([this, device, message, timestamp] {
    std::unique_lock lock(mutex_);
    InPort* port = StartedInput(device);
    lock.unlock();
    if (port) port->client->Error(message, timestamp);
  });
}

void VirtualMidiBackend::InjectSysex(int device, std::vector<BYTE> bytes, DWORD timestamp,
                                     bool complete) {
  std::lock_guard lock(mutex_);
  Enqueue([this, device, bytes = std::move(bytes), timestamp, complete] {
    std::vector<MIDIHDR*> filled;
    std::unique_lock lock(mutex_);
    InPort* port = StartedInput(device);
    if (!port) return;
    // A message longer than one buffer continues in the next; without a buffer
    // the rest is lost, as on a real port.
    size_t done = 0;
    while (done < bytes.size() && !port->buffers.empty()) {
      MIDIHDR* header = port->buffers.front();
      port->buffers.pop_front();
      const size_t count = std::min<size_t>(bytes.size() - done, header->dwBufferLength);
      std::memcpy(header->lpData, bytes.data() + done, count);
      header->dwBytesRecorded = static_cast<DWORD>(count);
      done += count;
      filled.push_back(header);
    }
    lock.unlock();
    for (size_t i = 0; i < filled.size(); ++i) {
      if (!complete && i + 1 == filled.size()) {
        port->client->LongError(filled[i], timestamp);
      } else {
        port->client->LongData(filled[i], timestamp);
      }
    }
  });
}

size_t VirtualMidiBackend::InputBuffers(int device) const {
  std::lock_guard lock(mutex_);
  if (device < 0 || device >= static_cast<int>(inputs_.size())) return 0;
  const InPort* port = inputs_[device].open;
  return port ? port->buffers.size() : 0;
}

bool VirtualMidiBackend::InputOpen(int device) const {
  std::lock_guard lock(mutex_);
  return device >= 0 && device < static_cast<int>(inputs_.size()) && inputs_[device].open;
}

bool VirtualMidiBackend::InputStarted(int device) const {
  std::lock_guard lock(mutex_);
  return const_cast<VirtualMidiBackend*>(this)->StartedInput(device) != nullptr;
}

// ---- the worker ----

uint64_t VirtualMidiBackend::Enqueue(std::function<void()> task) {
  tasks_.push_back(std::move(task));
  changed_.notify_all();
  return ++queued_;
}

void VirtualMidiBackend::WaitFor(std::unique_lock<std::mutex>& lock, uint64_t ticket) const {
  // A callback that closes its own port must not wait for itself.
  if (std::this_thread::get_id() == worker_.get_id()) return;
  changed_.wait(lock, [&] { return finished_ >= ticket; });
}

void VirtualMidiBackend::WaitIdle() const {
  std::unique_lock lock(mutex_);
  WaitFor(lock, queued_);
}

void VirtualMidiBackend::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
    ++finished_;
    changed_.notify_all();
  }
}
