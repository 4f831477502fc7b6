#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace testing_support {

// A JACK server of the test's own, with a private name, so that every client
// the test makes (the backend's included) reaches this server and no other.
//
// Which server is chosen by TQX_TEST_JACK: unset or "jackd" starts a jackd
// (dummy driver, 48 kHz, 512-frame periods, no real-time scheduling unless
// asked), "pipewire" starts a pipewire daemon with its default configuration
// in a private runtime folder. The latter only makes sense with PipeWire's
// libjack loaded in place of jackd's (LD_LIBRARY_PATH=kPipeWireJackLibraries,
// as pw-jack does); the server refuses to start otherwise.
class JackServer {
 public:
  enum class Scheduling { kNormal, kRealtime };
  enum class Kind { kJackd, kPipeWire };
  static constexpr const char* kPipeWireJackLibraries = "/usr/lib/x86_64-linux-gnu/pipewire-0.3/jack";

  // The kind TQX_TEST_JACK asks for.
  static Kind Chosen();
  static bool OnPipeWire() { return Chosen() == Kind::kPipeWire; }

  explicit JackServer(Scheduling scheduling = Scheduling::kNormal);
  ~JackServer();  // stops it by its PID
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Running() const { return pid_ > 0 && why_.empty(); }
  // Why it is not running: the server missing, or what it logged before it ended.
  const std::string& Why() const { return why_; }
  // What clients are aimed at to reach this server.
  const std::string& Name() const { return name_; }
  // Stops the server now, as a crash or a user would.
  void Stop();

  // Aims the clients made from now on (child processes included) at the
  // server of that name, running or not: JACK_DEFAULT_SERVER for jackd,
  // PIPEWIRE_REMOTE for PipeWire's libjack, which ignores the former.
  static void AimClientsAt(const std::string& name);

 private:
  void StartJackd(Scheduling scheduling);
  void StartPipeWire();
  void WaitUntilItAnswers(const std::string& what);

  Kind kind_;
  pid_t pid_ = -1;
  std::string name_;
  std::string log_path_;
  std::string folder_;  // PipeWire's private runtime folder
  std::string why_;
  std::optional<std::string> previous_aim_;  // the variable's value before us
};

}  // namespace testing_support
