#pragma once
// TMylaiks on a steady clock, so a change of the wall clock during a run does not bend the time
// reported at its end.
#include "data/pricing_library.h"

#include <chrono>
#include <string>

namespace talvix::pricing {

class RunTimer : public TMylaiks {
 public:
  RunTimer() { SetTime(); }
  void SetTime() override { start_ = std::chrono::steady_clock::now(); }
  std::string FillLineStundas() const override;

 private:
  std::chrono::steady_clock::time_point start_;
};

// "Ilgums: HH:MM:SS"; hours keep counting past 24.
std::string elapsedLine(std::chrono::seconds elapsed);

}  // namespace talvix::pricing
