#pragma once
// Whether the window's captions fit the fixed sizes of their controls: the text of a check box or
// radio button beside its indicator, a button's text and image, a group's title, a date picker's
// date, a label beside its neighbours. The window narrows its font until nothing is cut off.
#include <QStringList>

class QWidget;

namespace talvix::shell {

// The object names of the controls under root whose caption does not fit.
QStringList captionsCutOff(const QWidget& root);

}  // namespace talvix::shell
