#pragma once
// Every message box of the window goes through here: the plain boxes of its own messages and the
// standard error box for errors that leave an event handler. A host without a screen (or a test)
// installs a handler that receives the boxes instead (box_handler.h); nothing is shown then.
#include "shell/box_handler.h"

#include <functional>
#include <string>

class QWidget;

namespace talvix::shell {

// A modal box with the text and an OK button.
void showMessageBox(QWidget* parent, const std::string& text);
// A modal box with an error icon, the text and an OK button.
void showErrorBox(QWidget* parent, const std::string& text);

// Runs an event handler. An error that leaves it is shown in the error box (an error that is not a
// std::exception with an empty text); the result tells whether the handler ended normally.
bool runGuarded(QWidget* parent, const std::function<void()>& handler);

}  // namespace talvix::shell
