#pragma once
// The session's front without a window, for a host that runs batches (autoiepcensad-run): each
// progress line goes to the line observer exactly as the window's list would show it, message
// boxes to the box handler (else standard error), and waits sleep in slices as the window's do. It
// needs no application object and no screen. Owns its session.
#include "shell/log_lines.h"
#include "shell/run_session.h"
#include "shell/sliced_sleeper.h"

#include <string>

namespace talvix::shell {

class HeadlessFront : public RunFront {
 public:
  HeadlessFront() : session_(*this) {}

  RunSession& session() { return session_; }

  // The session's creation as the window's FormCreate runs it: an error goes to the error box.
  void create();
  // The costing run as the window's assign button runs it: an error goes to the error box, and a
  // run stopped from outside asks the program to end.
  void runCosting();
  // The standard error box.
  void showError(const std::string& text);

  // RunFront
  void AddProcessLine(const std::string& text, bool replaceLast) override;
  void repaintWindow() override {}
  void showMessage(const std::string& text) override;
  Sleeper& sleeper() override { return sleeper_; }

 private:
  RunSession session_;
  SlicedSleeper sleeper_;
  LineStamp stamp_;
  int lines_ = 0;  // what the window's list would hold
};

}  // namespace talvix::shell
