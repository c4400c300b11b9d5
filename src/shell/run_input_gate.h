#pragma once
// What a person can do while a run holds the window's thread. The run lets pending events through
// now and then (letPendingEventsThrough) so the window stays painted; under an open gate those
// include the person's input, and the gate takes it instead of the controls: everything is dropped
// except closing the window and the pointer on the close button, which go on to the window (its
// close handler asks the stop), and Escape, which asks the stop through the gate's callback. The
// window opens one gate per run and owns it; a box the run shows runs its own loop, outside the
// gate.
#include <QObject>

#include <functional>

class QWidget;

namespace talvix::shell {

class RunInputGate : public QObject {
 public:
  RunInputGate(QWidget& window, std::function<void()> askStop, QWidget* closeButton = nullptr);
  ~RunInputGate() override;
  RunInputGate(const RunInputGate&) = delete;
  RunInputGate& operator=(const RunInputGate&) = delete;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool isOwnWindow(QObject* object) const;
  bool onCloseButton(QObject* watched, const QEvent& event) const;

  QWidget& window_;
  std::function<void()> askStop_;
  QWidget* closeButton_;
};

// Delivers the events waiting now: through the open gate, or without any user input when none is
// open.
void letPendingEventsThrough();

}  // namespace talvix::shell
