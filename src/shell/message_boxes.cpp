#include "shell/message_boxes.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <exception>

namespace talvix::shell {
namespace {

BoxHandler& handler() {
  static BoxHandler installed;
  return installed;
}

void show(QWidget* parent, BoxKind kind, const std::string& text) {
  if (handler()) {
    handler()(kind, text);
    return;
  }
  QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QGuiApplication::applicationDisplayName(), QString::fromStdString(text), QMessageBox::Ok,
                  parent);
  box.exec();
}

}  // namespace

void setBoxHandler(BoxHandler newHandler) { handler() = std::move(newHandler); }

void showMessageBox(QWidget* parent, const std::string& text) { show(parent, BoxKind::Message, text); }

void showErrorBox(QWidget* parent, const std::string& text) { show(parent, BoxKind::Error, text); }

bool runGuarded(QWidget* parent, const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    showErrorBox(parent, error.what());
  } catch (...) {
    showErrorBox(parent, std::string());
  }
  return false;
}

}  // namespace talvix::shell
