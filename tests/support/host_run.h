#pragma once
// autoiepcensad-run as a child process of the test, the one way every test starts the real host:
// without a screen, on its own registry file, its progress log read entry by entry while it runs,
// signals sent to it, its end awaited within a limit. Every wait has a limit; a child still
// running when the object goes is killed, and a child outlives no test process.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace talvix::test {

using Clock = std::chrono::steady_clock;

// One write of the progress log: the text behind the time stamp (an error text may span lines)
// and when the test read it.
struct LogEntry {
  std::string text;
  Clock::time_point seen;
  int priority = -1;  // the journal's "<N>" before the line; -1 without one
};

struct HostOptions {
  bool verbose = true;  // pass --verbose: every write of the log a line
  std::string program{};  // empty: the autoiepcensad-run of the build
  // Beside TALVIX_REGISTRY; the service manager's variables are dropped unless given here.
  std::vector<std::pair<std::string, std::string>> environment{};
  bool journal = false;  // standard output named by JOURNAL_STREAM, as systemd names the journal's
};

class HostRun {
 public:
  // Starts the host on the registry file, with the given arguments.
  explicit HostRun(const std::string& registryPath, const std::vector<std::string>& arguments = {},
                   const HostOptions& options = {});
  HostRun(const HostRun&) = delete;
  HostRun& operator=(const HostRun&) = delete;
  ~HostRun();

  // Index of the first entry from `from` on that matches; nullopt when the limit passes or the
  // program ends first.
  std::optional<std::size_t> waitFor(const std::function<bool(const LogEntry&)>& match,
                                     std::chrono::seconds limit, std::size_t from = 0);
  std::optional<std::size_t> waitForText(const std::string& text, std::chrono::seconds limit, std::size_t from = 0);

  void signal(int number);
  // The host's process, for reading what it costs while it runs.
  pid_t pid() const { return pid_; }
  // The exit status when it ended normally, 128 + the signal when a signal ended it; nullopt when
  // it still runs after the limit.
  std::optional<int> waitExit(std::chrono::seconds limit);

  std::vector<LogEntry> log() const;
  std::vector<std::string> texts() const;
  std::string errors() const;  // standard error: the message boxes
  std::string output() const;  // standard output as written
  // Runs to the end (at most limit, else killed): the exit status as waitExit gives it, -1 when
  // it had to be killed.
  int finish(std::chrono::seconds limit);

 private:
  void read();
  void addOutput(const std::string& line);

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::optional<int> status_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<LogEntry> log_;
  std::string errors_;
  std::string output_;
  bool ended_ = false;  // both pipes closed
  std::thread reader_;
};

// The entries' texts as one printable block, for failure messages.
std::string printable(const std::vector<std::string>& texts, std::size_t last = 60);

}  // namespace talvix::test
