#include "shell/headless_front.h"

#include "shell/box_handler.h"
#include "step/stop_request.h"

#include <cstdio>

namespace talvix::shell {
namespace {

void showBox(BoxKind kind, const std::string& text) {
  if (handBox(kind, text)) return;
  std::fputs((text + '\n').c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

void HeadlessFront::create() {
  runShowingErrors([this](const std::string& text) { showError(text); }, [this] { session_.create(); });
}

void HeadlessFront::runCosting() {
  runShowingErrors([this](const std::string& text) { showError(text); },
                   [this] {
                     try {
                       session_.runCosting();
                     } catch (const RunStopped&) {
                       session_.requestTerminate();
                     }
                   });
}

void HeadlessFront::showError(const std::string& text) { showBox(BoxKind::Error, text); }

void HeadlessFront::showMessage(const std::string& text) { showBox(BoxKind::Message, text); }

// The list's rules: a write that finds it full empties it first, and one replacing the last line of
// an empty list appends.
void HeadlessFront::AddProcessLine(const std::string& text, bool replaceLast) {
  if (lines_ > kMaxLogLines) lines_ = 0;
  const bool replacing = replaceLast && lines_ > 0;
  if (!replacing) ++lines_;
  tellLineObserver((stamp_.now() + u' ' + QString::fromStdString(text)).toStdString(), text, replacing);
}

}  // namespace talvix::shell
