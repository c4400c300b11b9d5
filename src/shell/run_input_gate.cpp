#include "shell/run_input_gate.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace talvix::shell {
namespace {

RunInputGate* openGate = nullptr;

// Every kind of input a person gives: keys, pointer, wheel, touch, shortcuts and mnemonics, context
// menus, drops. Close is not among them.
bool isInput(const QEvent& event) {
  switch (event.type()) {
    case QEvent::Shortcut:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return event.isInputEvent();
  }
}

}  // namespace

RunInputGate::RunInputGate(QWidget& window, std::function<void()> askStop, QWidget* closeButton)
    : window_(window), askStop_(std::move(askStop)), closeButton_(closeButton) {
  openGate = this;
}

RunInputGate::~RunInputGate() {
  if (openGate == this) openGate = nullptr;
}

bool RunInputGate::isOwnWindow(QObject* object) const {
  if (auto* widget = qobject_cast<QWidget*>(object)) return widget->window() == &window_;
  return object && object == window_.windowHandle();
}

// The pointer reaches the window's surface first, then the control under it.
bool RunInputGate::onCloseButton(QObject* watched, const QEvent& event) const {
  if (!closeButton_ || !closeButton_->isVisible()) return false;
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
      break;
    default:
      return false;
  }
  if (watched == closeButton_) return true;
  if (watched != window_.windowHandle()) return false;
  const QPoint at = static_cast<const QMouseEvent&>(event).position().toPoint();
  return window_.childAt(at) == closeButton_;
}

bool RunInputGate::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    if (isOwnWindow(watched)) return false;
    event->ignore();  // another top-level window of the program waits for the run's end
    return true;
  }
  if (!isInput(*event) || onCloseButton(watched, *event)) return false;
  if (event->type() == QEvent::KeyPress && isOwnWindow(watched) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
    askStop_();
  return true;
}

void letPendingEventsThrough() {
  if (!openGate) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return;
  }
  RunInputGate* gate = openGate;
  QCoreApplication::instance()->installEventFilter(gate);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::instance()->removeEventFilter(gate);
}

}  // namespace talvix::shell
