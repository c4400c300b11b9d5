#pragma once
// A stop asked for from outside (SIGTERM, SIGINT). A run looks at it after each committed line and
// between passes; when set, it ends by throwing RunStopped, which is deliberately not a
// std::exception so that no error handler (the FIFO recovery among them) takes it for a failure.
// A request belongs to one run: it is dropped when a run starts and when it ends (StopScope).
namespace talvix {

struct RunStopped {};

// Async-signal-safe: only sets a flag.
void requestStop() noexcept;
bool stopRequested() noexcept;
void clearStopRequest() noexcept;

// Throws RunStopped when a stop was asked for.
void stopPoint();

// Drops any stop request when a run starts and again when it ends.
class StopScope {
 public:
  StopScope() noexcept { clearStopRequest(); }
  ~StopScope() { clearStopRequest(); }
  StopScope(const StopScope&) = delete;
  StopScope& operator=(const StopScope&) = delete;
};

// SIGTERM and SIGINT (unblocked, should a parent have blocked them) ask for a stop and make the
// self-pipe below readable, so that a waiting event loop hears of them too; a second one ends the
// process at once (exit status 1). Installing twice is harmless.
void installStopSignals();
// The read end of that pipe, -1 before installStopSignals.
int stopSignalFd() noexcept;
// Empties the pipe, so that a signal is heard once.
void drainStopSignals() noexcept;
// Waits milliseconds, or less when SIGTERM or SIGINT arrives; a signal is taken here, as the handler
// would take it, instead of interrupting the wait: the embedded database engine was seen to spin
// for ever in its detach after a stop signal had cut into a sleep. Plain sleep before
// installStopSignals.
void sleepTakingStopSignals(int milliseconds);

// "Process apturēts", the log's last line after a stop.
inline constexpr const char* kProcessStopped = "Process apturēts";

}  // namespace talvix
