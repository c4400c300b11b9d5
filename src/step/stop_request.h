#pragma once
// A stop asked for from outside (SIGTERM, SIGINT). A run looks at it after each committed line and
// between passes; when set, it ends by throwing RunStopped, which is deliberately not a
// std::exception so that no error handler (the FIFO recovery among them) takes it for a failure.
namespace talvix {

struct RunStopped {};

// Async-signal-safe: only sets a flag.
void requestStop() noexcept;
bool stopRequested() noexcept;
void clearStopRequest() noexcept;

// Throws RunStopped when a stop was asked for.
void stopPoint();

// SIGTERM and SIGINT ask for a stop; a second one ends the process at once (exit status 1).
void installStopSignals();

// "Process apturēts", the log's last line after a stop.
inline constexpr const char* kProcessStopped = "Process apturēts";

}  // namespace talvix
