#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace testing_support {

// A jackd of the test's own: dummy driver (48 kHz, 512-frame periods), no
// real-time scheduling unless asked (desktops run it real-time), a private
// server name. While it runs, JACK_DEFAULT_SERVER names it, so every client the
// test makes (the backend's included) reaches this server and no other.
class JackServer {
 public:
  enum class Scheduling { kNormal, kRealtime };
  explicit JackServer(Scheduling scheduling = Scheduling::kNormal);
  ~JackServer();  // stops it by its PID
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Running() const { return pid_ > 0 && why_.empty(); }
  // Why it is not running: jackd missing, or what it logged before it ended.
  const std::string& Why() const { return why_; }
  const std::string& Name() const { return name_; }
  // Stops the server now, as a crash or a user would.
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::string log_path_;
  std::string why_;
  std::optional<std::string> previous_server_;  // JACK_DEFAULT_SERVER before us
};

}  // namespace testing_support
