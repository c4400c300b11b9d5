#include "step/stop_request.h"

#include "data/progress_beat.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace talvix {
namespace {

std::atomic<bool> stopFlag{false};
// Kept apart from the flag, which runs clear: a second signal must still end a process that hangs
// in its shutdown after a stop.
std::atomic<bool> signalled{false};
std::atomic<int> pipeRead{-1};
std::atomic<int> pipeWrite{-1};

extern "C" void onStopSignal(int) {
  if (signalled.exchange(true)) _exit(1);
  stopFlag.store(true);
  const int saved = errno;
  const char byte = 's';
  if (const int fd = pipeWrite.load(); fd >= 0) (void)!::write(fd, &byte, 1);
  errno = saved;
}

}  // namespace

void requestStop() noexcept { stopFlag.store(true); }
bool stopRequested() noexcept { return stopFlag.load(); }
void clearStopRequest() noexcept { stopFlag.store(false); }

void stopPoint() {
  progressBeat();
  if (stopRequested()) throw RunStopped{};
}

void installStopSignals() {
  if (pipeRead.load() < 0) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      pipeRead.store(fds[0]);
      pipeWrite.store(fds[1]);
    }
  }
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

int stopSignalFd() noexcept { return pipeRead.load(); }

void drainStopSignals() noexcept {
  const int fd = pipeRead.load();
  if (fd < 0) return;
  char buffer[64];
  while (::read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace talvix

namespace talvix {

void sleepTakingStopSignals(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  if (pipeRead.load() < 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  sigset_t signals, previous;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, &previous);
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (Clock::duration left = end - Clock::now(); left > Clock::duration::zero(); left = end - Clock::now()) {
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec wait{static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
    const int taken = sigtimedwait(&signals, nullptr, &wait);
    if (taken > 0) {
      onStopSignal(taken);
      break;
    }
    if (errno != EINTR) break;  // EAGAIN: the time is up
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace talvix
