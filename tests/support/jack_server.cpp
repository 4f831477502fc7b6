#include "support/jack_server.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
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

// A client can be made: the server is up.
bool Answers(const std::string& name) {
  jack_set_error_function(Quiet);  // each refused try would print two lines
  jack_set_info_function(Quiet);
  jack_status_t status{};
  jack_client_t* probe =
      jack_client_open("tqx-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                       &status, name.c_str());
  jack_set_error_function(ToStderr);
  jack_set_info_function(ToStderr);
  if (!probe) return false;
  jack_client_close(probe);
  return true;
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

JackServer::JackServer(Scheduling scheduling) {
  name_ = "tqx-test-" + std::to_string(getpid()) + "-" + std::to_string(++servers_made);
  log_path_ = (std::filesystem::temp_directory_path() / (name_ + ".log")).string();
  if (const char* previous = std::getenv("JACK_DEFAULT_SERVER")) previous_server_ = previous;

  // Synchronous, with a long client timeout: on a machine busy with a build
  // the server waits for late clients instead of skipping cycles (with -S
  // absent, a starved peer can stall the graph for good).
  const char* realtime = scheduling == Scheduling::kRealtime ? "-R" : "-r";
  std::vector<std::string> args = {"jackd", realtime, "-S", "-t", "10000", "-n", name_};
  args.insert(args.end(), {"-d", "dummy", "-r", "48000", "-p", "512"});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // No device reservation over D-Bus: there is no session bus in CI.
  std::vector<std::string> env_strings = {"JACK_NO_AUDIO_RESERVATION=1"};
  std::vector<char*> envp;
  for (char** entry = environ; *entry; ++entry) envp.push_back(*entry);
  for (std::string& entry : env_strings) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const std::string jackd = FindProgram("jackd");
  if (jackd.empty()) {
    why_ = "jackd is not installed (package jackd2)";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls here. A test that crashes takes its server along.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int log = open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    execve(jackd.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  if (pid_ < 0) {
    why_ = std::string("cannot start jackd: ") + std::strerror(errno);
    return;
  }

  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!Answers(name_)) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      why_ = "jackd ended at start-up:\n" + ReadFile(log_path_);
      return;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      why_ = "jackd did not answer in time:\n" + ReadFile(log_path_);
      Stop();
      return;
    }
    std::this_thread::sleep_for(20ms);
  }
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
}

JackServer::~JackServer() {
  Stop();
  if (previous_server_) {
    setenv("JACK_DEFAULT_SERVER", previous_server_->c_str(), 1);
  } else {
    unsetenv("JACK_DEFAULT_SERVER");
  }
  std::filesystem::remove(log_path_);
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
