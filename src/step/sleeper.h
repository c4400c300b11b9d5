#pragma once
// The tool's waits (the reconnect countdown, the rest between continuous passes), behind an
// interface so tests need not wait.
namespace talvix {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleepMilliseconds(int milliseconds) = 0;
};

// Sleeps the calling thread for real; a stop signal ends the sleep early (sleepTakingStopSignals).
class ThreadSleeper : public Sleeper {
 public:
  void sleepMilliseconds(int milliseconds) override;
};

}  // namespace talvix
