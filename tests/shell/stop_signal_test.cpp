// The program autoiepcensad itself, offscreen: a stop signal to its window while it waits for input.
#include "shell_fixture.h"
#include "support/test_database.h"

#include <signal.h>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace talvix::test {
namespace {

// The exit code, 128 + the signal for a killed program, or -1 when it had not ended after a minute.
int exitCodeOf(pid_t child) {
  for (int tenths = 0; tenths < 600; ++tenths) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ::usleep(100000);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return -1;
}

// The signal is sent at once but held pending (blocked in the child) until the program takes the
// stop signals, just before its message loop starts: no guessing when the window is idle.
pid_t startWithPendingSignal(int signal) {
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGINT);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setsigmask(&attributes, &blocked);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  char program[] = AUTOIEPCENSAD_PROGRAM;
  char* arguments[] = {program, nullptr};
  pid_t child = -1;
  const int failed = posix_spawn(&child, program, nullptr, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) return -1;
  ::kill(child, signal);
  return child;
}

class StopSignalTest : public ShellTest {};

TEST_F(StopSignalTest, ASignalToTheIdleWindowClosesItWithTheSettingsSaved) {
  TestDatabase db;
  db.setFifo(0);
  db.connection().close();  // the program opens the file itself
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(strsignal(signal));
    listDatabases({{"Demo", db.path()}});
    const pid_t child = startWithPendingSignal(signal);
    ASSERT_GT(child, 0);
    EXPECT_EQ(exitCodeOf(child), 0);
    auto key = settingsKey();
    ASSERT_NE(key, nullptr) << "the settings were not saved";
    EXPECT_EQ(key->valueNames().size(), 10u);
  }
}

}  // namespace
}  // namespace talvix::test
