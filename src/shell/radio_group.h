#pragma once
// A titled frame of exclusive choices whose item index is a document kind's mode. Only the chosen
// item (the first when none is) takes focus by Tab, so the group is one stop in the window's tab
// order; the arrow keys move the choice inside it. The items are spread evenly under the title.
#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

#include <vector>

namespace talvix::shell {

class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  RadioGroup(const QString& title, const QStringList& items, QWidget* parent);

  // The chosen item; with none chosen, the index last set (-1 at first).
  int itemIndex() const;
  // An index that names no item chooses none and is kept as it is, so a number stored elsewhere
  // goes back unchanged until the user picks an item.
  void setItemIndex(int index);

  int count() const { return static_cast<int>(buttons_.size()); }
  QRadioButton* item(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void placeItems();
  void updateTabStop();

  QButtonGroup group_;
  std::vector<QRadioButton*> buttons_;
  int keptIndex_ = -1;  // what itemIndex() gives while no item is chosen
};

}  // namespace talvix::shell
