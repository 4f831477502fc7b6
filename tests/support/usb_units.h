#pragma once

#include <alsa/asoundlib.h>
#include <glob.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/raw_midi_reader.h"

#ifndef TQX_USB_MIDI_UNITS
#error "TQX_USB_MIDI_UNITS names tests/vm/usb-midi-units"
#endif

namespace testing_support {

// One USB MIDI interface "TQX Cable" inside the test VM, driven by the kernel's
// own snd-usb-audio as a user's cable is (tests/vm/usb-midi-units makes it).
// What the host side sent to it is read back raw where the interface would
// take it in: on the gadget's side, which a user does not have, so tests find
// it here by the unit's name and never in the device lists.
class UsbMidiUnit {
 public:
  // Plugs in a new unit on emulated controller 0 or 1 and waits until it takes
  // in what is sent to it.
  UsbMidiUnit(std::string name, int controller) : name_(std::move(name)), controller_(controller) {
    if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
      seq_ = nullptr;
      why_ = "no ALSA sequencer";
      return;
    }
    snd_seq_set_client_name(seq_, ("tqx-usb-probe-" + name_).c_str());
    // Not exported: the device lists never show it.
    probe_port_ = snd_seq_create_simple_port(
        seq_, "probe", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_NO_EXPORT,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (probe_port_ < 0) {
      why_ = "cannot make the probe's port";
      return;
    }
    if (!Run("add " + name_ + " " + std::to_string(controller))) return;
    added_ = true;
    Listen();
  }
  ~UsbMidiUnit() {
    reader_.reset();
    if (added_) Run("remove " + name_);
    if (seq_) snd_seq_close(seq_);
  }
  UsbMidiUnit(const UsbMidiUnit&) = delete;
  UsbMidiUnit& operator=(const UsbMidiUnit&) = delete;

  bool Ready() const { return why_.empty(); }
  const std::string& Why() const { return why_; }

  // As a user pulls the cable: the card and the sequencer client go.
  bool Unplug() {
    Keep();
    reader_.reset();  // the gadget's card goes only once nobody has it open
    return Run("unplug " + name_);
  }
  // Back on the same controller; returns once the unit takes in what is sent.
  bool Plug() { return Run("plug " + name_) && Listen(); }

  bool Plugged() const { return HostCard() >= 0; }

  // The host side's sequencer client (kernel client on the unit's card), or -1
  // while unplugged.
  int Client() const {
    const int card = HostCard();
    if (card < 0 || !seq_) return -1;
    snd_seq_client_info_t* info;
    snd_seq_client_info_alloca(&info);
    snd_seq_client_info_set_client(info, -1);
    while (snd_seq_query_next_client(seq_, info) >= 0) {
      if (snd_seq_client_info_get_card(info) == card) return snd_seq_client_info_get_client(info);
    }
    return -1;
  }
  // As aconnect -l shows its one port: "24:0".
  std::string Address() const {
    const int client = Client();
    return client < 0 ? std::string() : std::to_string(client) + ":0";
  }
  // Found as the script finds it, without the cost of a shell in the VM.
  int HostCard() const {
    const std::string pattern =
        "/sys/devices/platform/dummy_hcd." + std::to_string(controller_) + "/usb*/*-1/*/sound/card*";
    glob_t found{};
    int card = -1;
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
      const std::string path = found.gl_pathv[0];
      card = std::stoi(path.substr(path.rfind("card") + 4));
    }
    globfree(&found);
    return card;
  }

  // Every message that reached the unit since the last Clear, unplugged
  // stretches included, the probes left out.
  std::vector<std::string> Received() {
    Keep();
    return kept_;
  }
  void Clear() {
    Keep();
    kept_.clear();
  }
  // Waits until count messages have come, or the limit, and a little more.
  std::vector<std::string> WaitFor(size_t count,
                                   std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Received().size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return Received();
  }

 private:
  // The script says why it failed on stderr.
  bool Run(const std::string& args) {
    std::string command = TQX_USB_MIDI_UNITS;
    command.append(" ").append(args);
    if (std::system(command.c_str()) == 0) return true;
    why_ = command + " failed";
    return false;
  }

  // Opens the gadget side and sends Active Sensing to the host side until one
  // gets through: a unit just plugged in may lose what comes first.
  bool Listen() {
    reader_ = std::make_unique<RawMidiReader>(("hw:CARD=tqx" + name_ + ",DEV=0").c_str());
    if (!reader_->Ready()) {
      why_ = "cannot open the gadget side of " + name_;
      return false;
    }
    read_ = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int client;
    while ((client = Client()) < 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (client < 0 || snd_seq_connect_to(seq_, probe_port_, client, 0) < 0) {
      why_ = "no sequencer client on the host side of " + name_;
      return false;
    }
    bool through = false;
    while (!through && std::chrono::steady_clock::now() < deadline) {
      snd_seq_event_t event;
      snd_seq_ev_clear(&event);
      event.type = SND_SEQ_EVENT_SENSING;
      snd_seq_ev_set_source(&event, probe_port_);
      snd_seq_ev_set_subs(&event);
      snd_seq_ev_set_direct(&event);
      snd_seq_event_output_direct(seq_, &event);
      const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
      while (!(through = Keep()) && std::chrono::steady_clock::now() < next) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    snd_seq_disconnect_to(seq_, probe_port_, client, 0);
    if (!through) why_ = "nothing sent to " + name_ + " got through in 30 s";
    return through;
  }

  // Moves what the reader has taken in to kept_; true when a probe was among it.
  bool Keep() {
    if (!reader_) return false;
    const std::vector<RawMidiReader::Message> messages = reader_->Messages();
    bool probe = false;
    for (; read_ < messages.size(); ++read_) {
      if (messages[read_].hex == "FE") {
        probe = true;
      } else {
        kept_.push_back(messages[read_].hex);
      }
    }
    return probe;
  }

  std::string name_;
  int controller_;
  std::string why_;
  bool added_ = false;
  snd_seq_t* seq_ = nullptr;
  int probe_port_ = -1;
  std::unique_ptr<RawMidiReader> reader_;
  size_t read_ = 0;
  std::vector<std::string> kept_;
};

}  // namespace testing_support
