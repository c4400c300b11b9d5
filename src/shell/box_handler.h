#pragma once
// Where the tool's message boxes go when a handler takes them instead of the screen (a host without
// one, a test), and the guard every handler of the window or the headless front runs under. Free of
// widgets: message_boxes.h shows the boxes no handler takes.
#include <functional>
#include <string>

namespace talvix::shell {

enum class BoxKind { Message, Error };
using BoxHandler = std::function<void(BoxKind kind, const std::string& text)>;

// For the whole process; an empty handler brings the real boxes back.
void setBoxHandler(BoxHandler handler);
// Gives the box to the installed handler; false when there is none.
bool handBox(BoxKind kind, const std::string& text);

// Runs an event handler. An error that leaves it goes to showError (an error that is not a
// std::exception with an empty text); the result tells whether the handler ended normally.
bool runShowingErrors(const std::function<void(const std::string&)>& showError, const std::function<void()>& handler);

}  // namespace talvix::shell
