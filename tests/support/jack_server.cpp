#include "support/jack_server.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace testing_support {
namespace {

using namespace std::chrono_literals;

// Generous: jackd comes up in well under a second, but CI machines stall.
constexpr auto kStartLimit = 20s;
constexpr auto kStopLimit = 5s;

std::atomic<int> servers_made{0};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void Quiet(const char*) {}
void ToStderr(const char* message) { std::fprintf(stderr, "%s\n", message); }

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

const char* AimVariable(JackServer::Kind kind) {
  return kind == JackServer::Kind::kPipeWire ? "PIPEWIRE_REMOTE" : "JACK_DEFAULT_SERVER";
}

// The file the JACK library in use was loaded from.
std::string LoadedJack() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&jack_client_open), &info) == 0 || !info.dli_fname) return "?";
  return info.dli_fname;
}

// A client can be made: the server is up. PipeWire's libjack takes a server
// name as the name of a socket in the runtime folder, so it is reached by the
// variable that also takes a whole path.
bool Answers(JackServer::Kind kind, const std::string& name) {
  jack_set_error_function(Quiet);  // each refused try would print two lines
  jack_set_info_function(Quiet);
  jack_status_t status{};
  jack_client_t* probe = nullptr;
  if (kind == JackServer::Kind::kPipeWire) {
    const char* aimed = std::getenv("PIPEWIRE_REMOTE");
    const std::optional<std::string> before =
        aimed ? std::optional<std::string>(aimed) : std::nullopt;
    setenv("PIPEWIRE_REMOTE", name.c_str(), 1);
    probe = jack_client_open("tqx-probe", JackNoStartServer, &status);
    if (before) {
      setenv("PIPEWIRE_REMOTE", before->c_str(), 1);
    } else {
      unsetenv("PIPEWIRE_REMOTE");
    }
  } else {
    probe = jack_client_open("tqx-probe",
                             static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                             &status, name.c_str());
  }
  jack_set_error_function(ToStderr);
  jack_set_info_function(ToStderr);
  if (!probe) return false;
  jack_client_close(probe);
  return true;
}

// Starts the program with the test's environment, plus `add`, less `drop`,
// its output to the log. Returns its PID, or -1 with errno.
pid_t Spawn(const std::string& program, std::vector<std::string> args,
            std::vector<std::string> add, const std::vector<std::string>& drop,
            const std::string& log_path) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view text(*entry);
    const std::string_view key = text.substr(0, text.find('='));
    const auto same = [&](const std::string& name) { return key == name; };
    const auto replaced = [&](const std::string& added) {
      return added.size() > key.size() && added.compare(0, key.size(), key) == 0 &&
             added[key.size()] == '=';
    };
    if (std::none_of(drop.begin(), drop.end(), same) &&
        std::none_of(add.begin(), add.end(), replaced)) {
      envp.push_back(*entry);
    }
  }
  for (std::string& entry : add) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls here. A test that crashes takes its server along.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

// Waits for the child to end; false when it is still running at the deadline.
bool Reap(pid_t pid, std::chrono::steady_clock::duration limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace

JackServer::Kind JackServer::Chosen() {
  const char* chosen = std::getenv("TQX_TEST_JACK");
  return chosen && std::string(chosen) == "pipewire" ? Kind::kPipeWire : Kind::kJackd;
}

void JackServer::AimClientsAt(const std::string& name) {
  setenv(OnPipeWire() ? "PIPEWIRE_REMOTE" : "JACK_DEFAULT_SERVER", name.c_str(), 1);
}

JackServer::JackServer(Scheduling scheduling) : kind_(Chosen()) {
  name_ = "tqx-test-" + std::to_string(getpid()) + "-" + std::to_string(++servers_made);
  log_path_ = (std::filesystem::temp_directory_path() / (name_ + ".log")).string();
  if (const char* previous = std::getenv(AimVariable(kind_))) previous_aim_ = previous;
  if (kind_ == Kind::kPipeWire) {
    StartPipeWire();
  } else {
    StartJackd(scheduling);
  }
}

void JackServer::StartJackd(Scheduling scheduling) {
  // Synchronous, with a long client timeout: on a machine busy with a build
  // the server waits for late clients instead of skipping cycles (with -S
  // absent, a starved peer can stall the graph for good).
  const char* realtime = scheduling == Scheduling::kRealtime ? "-R" : "-r";
  std::vector<std::string> args = {"jackd", realtime, "-S", "-t", "10000", "-n", name_};
  args.insert(args.end(), {"-d", "dummy", "-r", "48000", "-p", "512"});
  // No device reservation over D-Bus: there is no session bus in CI.
  const std::string jackd = FindProgram("jackd");
  if (jackd.empty()) {
    why_ = "jackd is not installed (package jackd2)";
    return;
  }
  pid_ = Spawn(jackd, args, {"JACK_NO_AUDIO_RESERVATION=1"}, {}, log_path_);
  WaitUntilItAnswers("jackd");
}

void JackServer::StartPipeWire() {
  if (LoadedJack().find("/pipewire-") == std::string::npos) {
    why_ = "PipeWire's libjack is not the one loaded (" + LoadedJack() +
           "): run with LD_LIBRARY_PATH=" + kPipeWireJackLibraries;
    return;
  }
  const std::string pipewire = FindProgram("pipewire");
  if (pipewire.empty()) {
    why_ = "pipewire is not installed (packages pipewire, pipewire-jack)";
    return;
  }
  // The daemon's socket, and whatever else it keeps at run time, go to a
  // folder of its own; nothing of the user's configuration is read. Without a
  // session bus its D-Bus modules fail, harmlessly, and none is started for it.
  folder_ = (std::filesystem::temp_directory_path() / name_).string();
  std::error_code error;
  std::filesystem::create_directory(folder_, error);
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, error);
  const std::vector<std::string> env = {
      "XDG_RUNTIME_DIR=" + folder_, "PIPEWIRE_RUNTIME_DIR=" + folder_,
      "XDG_CONFIG_HOME=" + folder_ + "/config",
      "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder_ + "/no-bus"};
  pid_ = Spawn(pipewire, {"pipewire"}, env, {"PIPEWIRE_REMOTE", "DISPLAY"}, log_path_);
  name_ = folder_ + "/pipewire-0";
  WaitUntilItAnswers("pipewire");
}

void JackServer::WaitUntilItAnswers(const std::string& what) {
  if (pid_ < 0) {
    why_ = "cannot start " + what + ": " + std::strerror(errno);
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!Answers(kind_, name_)) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      why_ = what + " ended at start-up:\n" + ReadFile(log_path_);
      return;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      why_ = what + " did not answer in time:\n" + ReadFile(log_path_);
      Stop();
      return;
    }
    std::this_thread::sleep_for(20ms);
  }
  AimClientsAt(name_);
}

JackServer::~JackServer() {
  Stop();
  if (previous_aim_) {
    setenv(AimVariable(kind_), previous_aim_->c_str(), 1);
  } else {
    unsetenv(AimVariable(kind_));
  }
  std::filesystem::remove(log_path_);
  std::error_code error;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
}

void JackServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (!Reap(pid_, kStopLimit)) {
    kill(pid_, SIGKILL);
    Reap(pid_, kStopLimit);
  }
  pid_ = -1;
  if (why_.empty()) why_ = "stopped";
  // The semaphores of clients still connected when a server goes are left
  // behind by libjack; the name is ours alone.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
    const std::string file = entry.path().filename().string();
    if (file.rfind("jack_sem.", 0) == 0 && file.find("_" + name_ + "_") != std::string::npos) {
      std::filesystem::remove(entry.path(), error);
    }
  }
}

}  // namespace testing_support
