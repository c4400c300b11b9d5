#pragma once
// The one wait of the tool (the reconnect countdown), behind an interface so tests need not wait.
namespace talvix {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleepMilliseconds(int milliseconds) = 0;
};

// Sleeps the calling thread for real.
class ThreadSleeper : public Sleeper {
 public:
  void sleepMilliseconds(int milliseconds) override;
};

}  // namespace talvix
