#include "step/stop_request.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace talvix {
namespace {

std::atomic<bool> stopFlag{false};

extern "C" void onStopSignal(int) {
  if (stopFlag.exchange(true)) _exit(1);
}

}  // namespace

void requestStop() noexcept { stopFlag.store(true); }
bool stopRequested() noexcept { return stopFlag.load(); }
void clearStopRequest() noexcept { stopFlag.store(false); }

void stopPoint() {
  if (stopRequested()) throw RunStopped{};
}

void installStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace talvix
