#include "shell/box_handler.h"

#include <exception>

namespace talvix::shell {
namespace {

BoxHandler& handler() {
  static BoxHandler installed;
  return installed;
}

}  // namespace

void setBoxHandler(BoxHandler newHandler) { handler() = std::move(newHandler); }

bool handBox(BoxKind kind, const std::string& text) {
  if (!handler()) return false;
  handler()(kind, text);
  return true;
}

bool runShowingErrors(const std::function<void(const std::string&)>& showError, const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    showError(error.what());
  } catch (...) {
    showError(std::string());
  }
  return false;
}

}  // namespace talvix::shell
