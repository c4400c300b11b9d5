#include "shell/radio_group.h"

#include <QEvent>

#include <algorithm>

namespace talvix::shell {
namespace {
constexpr int kSideMargin = 8;   // left of the items; the same less two on the right
constexpr int kBottomMargin = 5;
}  // namespace

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent) {
  for (int index = 0; index < items.size(); ++index) {
    auto* button = new QRadioButton(items[index], this);
    group_.addButton(button, index);
    buttons_.push_back(button);
  }
  group_.setExclusive(true);
  connect(&group_, &QButtonGroup::idToggled, this, &RadioGroup::updateTabStop);
  updateTabStop();
  placeItems();
}

int RadioGroup::itemIndex() const {
  const int checked = group_.checkedId();
  return checked >= 0 ? checked : keptIndex_;
}

void RadioGroup::setItemIndex(int index) {
  keptIndex_ = index;
  if (index >= 0 && index < count()) {
    item(index)->setChecked(true);
    return;
  }
  // An exclusive group keeps one item checked; let go of it to clear.
  group_.setExclusive(false);
  for (QRadioButton* button : buttons_) button->setChecked(false);
  group_.setExclusive(true);
  updateTabStop();
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  placeItems();
}

void RadioGroup::changeEvent(QEvent* event) {
  QGroupBox::changeEvent(event);
  if (event->type() == QEvent::FontChange) placeItems();
}

void RadioGroup::placeItems() {
  if (buttons_.empty()) return;
  const int textHeight = fontMetrics().height();
  const int rows = count();
  const int free = height() - textHeight - kBottomMargin;
  const int rowHeight = free / rows;
  const int top = textHeight + 1 + (free % rows) / 2;
  const int itemWidth = width() - kSideMargin - 2;
  for (int row = 0; row < rows; ++row)
    item(row)->setGeometry(kSideMargin, top + row * rowHeight, itemWidth, rowHeight);
}

void RadioGroup::updateTabStop() {
  const int stop = std::max(group_.checkedId(), 0);
  for (int index = 0; index < count(); ++index)
    item(index)->setFocusPolicy(index == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

}  // namespace talvix::shell
