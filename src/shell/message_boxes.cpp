#include "shell/message_boxes.h"

#include <QGuiApplication>
#include <QMessageBox>


namespace talvix::shell {
namespace {

void show(QWidget* parent, BoxKind kind, const std::string& text) {
  if (handBox(kind, text)) return;
  QMessageBox box(kind == BoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QGuiApplication::applicationDisplayName(), QString::fromStdString(text), QMessageBox::Ok,
                  parent);
  box.exec();
}

}  // namespace

void showMessageBox(QWidget* parent, const std::string& text) { show(parent, BoxKind::Message, text); }

void showErrorBox(QWidget* parent, const std::string& text) { show(parent, BoxKind::Error, text); }

bool runGuarded(QWidget* parent, const std::function<void()>& handler) {
  return runShowingErrors([parent](const std::string& text) { showErrorBox(parent, text); }, handler);
}

}  // namespace talvix::shell
