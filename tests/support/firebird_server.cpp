#include "support/firebird_server.h"

#include "support/child_environment.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <glob.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace talvix::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kServerProgram[] = "/usr/sbin/firebird";
constexpr char kIsqlProgram[] = "/usr/bin/isql-fb";
constexpr char kSecurityScript[] = "/usr/share/firebird/3.0/security.sql";
constexpr char kLibraryDirPattern[] = "/usr/lib/*/firebird/3.0/plugins.conf";
constexpr char kLoopback[] = "127.0.0.1";
constexpr int kSecurityLimitSeconds = 60;
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// The directory with plugins.conf, firebird.msg, intl/ and plugins/ of the installed packages.
std::string firebirdLibraryDir() {
  glob_t found{};
  std::string dir;
  if (glob(kLibraryDirPattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0)
    dir = fs::path(found.gl_pathv[0]).parent_path().string();
  globfree(&found);
  if (dir.empty())
    throw std::runtime_error(std::string("no Firebird 3 server files (") + kLibraryDirPattern +
                             "); install firebird3.0-server");
  return dir;
}

void requireProgram(const char* path, const char* package) {
  if (access(path, X_OK) != 0)
    throw std::runtime_error(std::string(path) + " is missing; install " + package);
}

// Binds a loopback socket to `port` (0: any) and returns the port it got, or 0.
int bindablePort(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, kLoopback, &address.sin_addr);
  socklen_t length = sizeof address;
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  close(fd);
  return bound ? ntohs(address.sin_port) : 0;
}

// A free port below the kernel's range for outgoing connections, so that no client socket can take
// it while the server is away and the server can have it back; any free port when that range
// leaves no room below it.
int freeLoopbackPort() {
  constexpr int kLowest = 20000;
  int firstEphemeral = 0;
  std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> firstEphemeral;
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100 && firstEphemeral > kLowest + 1000; ++attempt) {
    const int port = std::uniform_int_distribution<int>(kLowest, firstEphemeral - 1)(random);
    if (bindablePort(port) == port) return port;
  }
  if (const int port = bindablePort(0)) return port;
  throw std::runtime_error(std::string("cannot find a free port: ") + std::strerror(errno));
}

bool acceptsConnections(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, kLoopback, &address.sin_addr);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// This process's environment with the server's directories in place of any the caller has.
std::vector<std::string> serverEnvironment(const std::string& dir) {
  return childEnvironment({}, {{"FIREBIRD", dir}, {"FIREBIRD_LOCK", dir + "/lock"}, {"FIREBIRD_TMP", dir + "/tmp"}});
}

// Starts a program with its output appended to logFile. The child gets SIGKILL when the test
// process dies, so no server outlives a crashed test.
pid_t spawn(std::vector<std::string> arguments, std::vector<std::string> environment, const std::string& logFile) {
  std::vector<char*> argv = pointers(arguments);
  std::vector<char*> envp = pointers(environment);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int null = open("/dev/null", O_RDONLY);
    if (log < 0 || null < 0) _exit(127);
    dup2(null, STDIN_FILENO);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

// The wait status once the child has ended, or nullopt when it still runs after the limit.
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return status;
    if (ended < 0 && errno != EINTR) return 0;  // not our child any more: nothing left to wait for
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  }
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

FirebirdServer::FirebirdServer(Mode mode) : mode_(mode) {
  requireProgram(kServerProgram, "firebird3.0-server");
  requireProgram(kIsqlProgram, "firebird3.0-utils");
  port_ = freeLoopbackPort();
  writeConfiguration();
  createSecurityDatabase();
  start();
}

FirebirdServer::~FirebirdServer() {
  try {
    stop();
  } catch (...) {
    // stop() ends with SIGKILL; nothing is left to report to.
  }
}

void FirebirdServer::writeConfiguration() const {
  const std::string dir = dir_.path();
  const std::string lib = firebirdLibraryDir();
  std::ofstream(dir + "/firebird.conf") << "RemoteServicePort = " << port_ << "\n"
                                        << "RemoteBindAddress = " << kLoopback << "\n"
                                        << "SecurityDatabase = " << dir << "/security3.fdb\n"
                                        << "AuthServer = Srp\n"
                                        << "AuthClient = Srp\n"
                                        << "UserManager = Srp\n"
                                        << "ServerMode = " << (mode_ == Mode::Classic ? "Classic" : "Super")
                                        << "\n"
                                        << "WireCrypt = Enabled\n";
  std::ofstream(dir + "/databases.conf") << "\n";
  fs::copy_file(lib + "/plugins.conf", dir + "/plugins.conf");
  for (const char* shared : {"firebird.msg", "intl", "plugins"})
    fs::create_symlink(lib + "/" + shared, dir + "/" + shared);
  fs::create_directory(dir + "/lock");
  fs::create_directory(dir + "/tmp");
}

void FirebirdServer::createSecurityDatabase() const {
  const std::string dir = dir_.path();
  const std::string script = dir + "/security.sql";
  std::ofstream(script) << "create database '" << dir << "/security3.fdb';\n"
                        << "input " << kSecurityScript << ";\n"
                        << "create or alter user " << kUser << " password '" << kPassword << "' using plugin Srp;\n"
                        << "commit;\n";
  const std::string log = dir + "/isql.log";
  const pid_t pid = spawn({kIsqlProgram, "-q", "-user", kUser, "-i", script}, serverEnvironment(dir), log);
  const std::optional<int> status = waitFor(pid, std::chrono::seconds(kSecurityLimitSeconds));
  if (!status) {
    ::kill(pid, SIGKILL);
    waitFor(pid, std::chrono::seconds(kStopLimitSeconds));
    throw std::runtime_error("isql-fb did not finish the security database:\n" + readWhole(log));
  }
  if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0 || !fs::exists(dir + "/security3.fdb"))
    throw std::runtime_error("isql-fb could not make the security database:\n" + readWhole(log));
}

void FirebirdServer::start() {
  if (running()) return;
  pid_ = spawn({kServerProgram}, serverEnvironment(dir_.path()), dir_.file("server.log"));
  const auto deadline = Clock::now() + std::chrono::seconds(kStartLimitSeconds);
  while (!acceptsConnections(port_)) {
    if (waitFor(pid_, std::chrono::milliseconds(0))) {
      pid_ = -1;
      throw std::runtime_error("the Firebird server ended at start:\n" + serverLog());
    }
    if (Clock::now() >= deadline) {
      kill();
      throw std::runtime_error("the Firebird server did not listen on port " + std::to_string(port_) + ":\n" +
                               serverLog());
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

void FirebirdServer::stop() {
  if (!running()) return;
  ::kill(pid_, SIGTERM);
  if (waitFor(pid_, std::chrono::seconds(kStopLimitSeconds))) {
    pid_ = -1;
    return;
  }
  kill();
}

void FirebirdServer::kill() {
  if (!running()) return;
  ::kill(pid_, SIGKILL);
  waitFor(pid_, std::chrono::seconds(kStopLimitSeconds));
  pid_ = -1;
}

std::string FirebirdServer::connectionString(const std::string& path) const {
  return std::string(kLoopback) + "/" + std::to_string(port_) + ":" + path;
}

void FirebirdServer::useCredentials() {
  setenv("ISC_USER", kUser, 1);
  setenv("ISC_PASSWORD", kPassword, 1);
}

std::string FirebirdServer::serverLog() const {
  return readWhole(dir_.file("server.log")) + readWhole(dir_.file("firebird.log"));
}

}  // namespace talvix::test
