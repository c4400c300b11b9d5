#include "shell/caption_fit.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace talvix::shell {
namespace {

// Room the style keeps on each side of a group box's title.
constexpr int kTitleMargin = 8;

bool textFitsBesideIndicator(const QAbstractButton& button, QStyle::SubElement contents) {
  QStyleOptionButton option;
  option.initFrom(&button);
  option.text = button.text();
  const QRect room = button.style()->subElementRect(contents, &option, &button);
  return button.fontMetrics().horizontalAdvance(button.text()) <= room.width();
}

bool labelFits(const QLabel& label) {
  const QWidget* parent = label.parentWidget();
  if (label.sizeHint().width() > label.width()) return false;
  if (!parent) return true;
  for (const QObject* child : parent->children()) {
    const auto* sibling = qobject_cast<const QWidget*>(child);
    if (sibling && sibling != &label && sibling->isVisibleTo(parent) &&
        sibling->geometry().intersects(label.geometry()))
      return false;
  }
  return true;
}

bool fits(const QWidget& widget) {
  if (const auto* box = qobject_cast<const QCheckBox*>(&widget))
    return textFitsBesideIndicator(*box, QStyle::SE_CheckBoxContents);
  if (const auto* radio = qobject_cast<const QRadioButton*>(&widget))
    return textFitsBesideIndicator(*radio, QStyle::SE_RadioButtonContents);
  if (const auto* button = qobject_cast<const QPushButton*>(&widget))
    return button->sizeHint().width() <= button->width();
  if (const auto* group = qobject_cast<const QGroupBox*>(&widget))
    return group->fontMetrics().horizontalAdvance(group->title()) + 2 * kTitleMargin <= group->width();
  if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(&widget))
    return spin->minimumSizeHint().width() <= spin->width();
  if (const auto* label = qobject_cast<const QLabel*>(&widget)) return labelFits(*label);
  return true;
}

}  // namespace

QStringList captionsCutOff(const QWidget& root) {
  QStringList cutOff;
  for (const QWidget* widget : root.findChildren<const QWidget*>()) {
    if (widget->isVisibleTo(&root) && !fits(*widget)) {
      const QString name = widget->objectName().isEmpty() && widget->parentWidget()
                               ? widget->parentWidget()->objectName() + QStringLiteral("/") +
                                     widget->property("text").toString()
                               : widget->objectName();
      cutOff << name;
    }
  }
  return cutOff;
}

}  // namespace talvix::shell
