#include "support/host_run.h"

#include "support/child_environment.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <stdexcept>

namespace talvix::test {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kKillLimit = std::chrono::seconds(15);

// A log line as the host prints it: the journal's priority when it has one, the time of day, one
// blank, the text.
const std::regex& timeStamped() {
  static const std::regex pattern(R"(^(?:<(\d)>)?\d{1,2}[:.]\d{2}[:.]\d{2}(?:\s?[AaPp]\.?[Mm]\.?)? (.*)$)");
  return pattern;
}

const std::regex& prioritised() {
  static const std::regex pattern(R"(^<\d>(.*)$)");
  return pattern;
}

// Without a screen, on its own registry file, told of no service manager unless the test is one;
// everything else as the test process has it.
std::vector<std::string> hostEnvironment(const std::string& registryPath, const HostOptions& options, int out) {
  std::vector<std::pair<std::string, std::string>> set{{"TALVIX_REGISTRY", registryPath}};
  set.insert(set.end(), options.environment.begin(), options.environment.end());
  struct stat stream{};
  if (options.journal && fstat(out, &stream) == 0)
    set.emplace_back("JOURNAL_STREAM", std::to_string(stream.st_dev) + ":" + std::to_string(stream.st_ino));
  return childEnvironment({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET", "WATCHDOG_USEC",
                           "WATCHDOG_PID", "JOURNAL_STREAM"},
                          set);
}

int statusCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

HostRun::HostRun(const std::string& registryPath, const std::vector<std::string>& arguments,
                 const HostOptions& options) {
  std::vector<std::string> argumentTexts{options.program.empty() ? AUTOIEPCENSAD_RUN : options.program};
  if (options.verbose) argumentTexts.push_back("--verbose");
  argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  std::vector<std::string> environment = hostEnvironment(registryPath, options, out[1]);
  std::vector<char*> argv = pointers(argumentTexts);
  std::vector<char*> envp = pointers(environment);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  out_ = out[0];
  err_ = err[0];
  reader_ = std::thread([this] { read(); });
}

HostRun::~HostRun() {
  if (!waitExit(std::chrono::seconds(0))) {
    ::kill(pid_, SIGKILL);
    waitExit(kKillLimit);
  }
  if (reader_.joinable()) reader_.join();
  close(out_);
  close(err_);
}

void HostRun::read() {
  std::string partial;
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (pollfd& fd : fds) {
      if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
      if (got <= 0) {
        fd.fd = -1;
        --open;
        continue;
      }
      if (fd.fd == err_) {
        const std::lock_guard lock(mutex_);
        errors_.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      {
        const std::lock_guard lock(mutex_);
        output_.append(buffer, static_cast<std::size_t>(got));
      }
      partial.append(buffer, static_cast<std::size_t>(got));
      for (std::size_t end; (end = partial.find('\n')) != std::string::npos; partial.erase(0, end + 1))
        addOutput(partial.substr(0, end));
    }
  }
  if (!partial.empty()) addOutput(partial);
  const std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

void HostRun::addOutput(const std::string& line) {
  std::smatch parts;
  const std::lock_guard lock(mutex_);
  if (std::regex_match(line, parts, timeStamped()) || log_.empty()) {
    const int priority = parts.empty() || !parts[1].matched ? -1 : std::stoi(parts[1].str());
    log_.push_back({parts.empty() ? line : parts[2].str(), Clock::now(), priority});
  } else {
    std::smatch rest;
    // an error text of several lines
    log_.back().text += "\n" + (std::regex_match(line, rest, prioritised()) ? rest[1].str() : line);
  }
  changed_.notify_all();
}

std::optional<std::size_t> HostRun::waitFor(const std::function<bool(const LogEntry&)>& match,
                                            std::chrono::seconds limit, std::size_t from) {
  const auto deadline = Clock::now() + limit;
  std::unique_lock lock(mutex_);
  // The last entry may still grow by a continuation line; it is checked again when it does.
  for (;;) {
    for (std::size_t i = from; i < log_.size(); ++i)
      if (match(log_[i])) return i;
    if (ended_) return std::nullopt;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      for (std::size_t i = from; i < log_.size(); ++i)
        if (match(log_[i])) return i;
      return std::nullopt;
    }
  }
}

std::optional<std::size_t> HostRun::waitForText(const std::string& text, std::chrono::seconds limit,
                                                std::size_t from) {
  return waitFor([&](const LogEntry& entry) { return entry.text == text; }, limit, from);
}

void HostRun::signal(int number) {
  if (!status_) ::kill(pid_, number);
}

std::optional<int> HostRun::waitExit(std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!status_) {
    int status = 0;
    const pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      status_ = statusCode(status);
      break;
    }
    if (ended < 0 && errno != EINTR) throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  }
  // The output is read to its end before the caller looks at it.
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, Clock::now() + kKillLimit, [this] { return ended_; });
  return status_;
}

std::vector<LogEntry> HostRun::log() const {
  const std::lock_guard lock(mutex_);
  return log_;
}

std::vector<std::string> HostRun::texts() const {
  const std::lock_guard lock(mutex_);
  std::vector<std::string> result;
  for (const LogEntry& entry : log_) result.push_back(entry.text);
  return result;
}

std::string HostRun::errors() const {
  const std::lock_guard lock(mutex_);
  return errors_;
}

std::string HostRun::output() const {
  const std::lock_guard lock(mutex_);
  return output_;
}

int HostRun::finish(std::chrono::seconds limit) {
  if (const std::optional<int> status = waitExit(limit)) return *status;
  ::kill(pid_, SIGKILL);
  waitExit(kKillLimit);
  return -1;
}

std::string printable(const std::vector<std::string>& texts, std::size_t last) {
  std::string block;
  const std::size_t first = texts.size() > last ? texts.size() - last : 0;
  if (first > 0) block += "... " + std::to_string(first) + " entries before\n";
  for (std::size_t i = first; i < texts.size(); ++i) block += texts[i] + "\n";
  return block;
}

}  // namespace talvix::test
