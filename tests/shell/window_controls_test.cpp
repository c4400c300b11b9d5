// The window as the user meets it before any database work: controls, captions, places, defaults,
// focus order, keyboard shortcut, colours and images.
#include "shell/caption_fit.h"
#include "shell/date_picker.h"
#include "shell/progress_list.h"
#include "shell/radio_group.h"
#include "shell/typed_date.h"
#include "shell_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace talvix::test {
namespace {

using shell::DatePicker;
using shell::RadioGroup;

struct ControlRow {
  const char* name;
  const char* parent;
  const char* caption;  // text, title or "" for none
  QRect geometry;       // width 0: sized to its caption
};

const ControlRow kControls[] = {
    {"LaikaPeriods", "AutoIepCenSad", "Laika periods", {65, 0, 256, 49}},
    {"Label1", "LaikaPeriods", "No :", {8, 20, 0, 0}},
    {"DatumsNo", "LaikaPeriods", "", {32, 16, 89, 21}},
    {"Label2", "LaikaPeriods", "Līdz :", {128, 20, 0, 0}},
    {"DatumsLidz", "LaikaPeriods", "", {164, 16, 89, 21}},
    {"chkPedejaCena", "AutoIepCenSad", "Lietot pēdējo iepirkuma cenu, kas  nav 0", {119, 49, 222, 17}},
    {"chk1PardCena", "AutoIepCenSad", "Pārv.un izrakst. iep.cena = 1. pārd,cena", {119, 65, 215, 17}},
    {"shParveitosana", "AutoIepCenSad", "Pārvietošana :", {1, 88, 169, 65}},
    {"shIzrakstisana", "AutoIepCenSad", "Izrakstīšana :", {173, 88, 169, 65}},
    {"shAtgriezsana", "AutoIepCenSad", "Atgriezšana :", {1, 160, 169, 65}},
    {"shAtlikumi", "AutoIepCenSad", "Preču atlikumi :", {173, 160, 169, 65}},
    {"chkPakalpojumusNe", "AutoIepCenSad", "Neapstrādāt pakalpojumus", {6, 227, 153, 17}},
    {"chkIMEI", "AutoIepCenSad", "Meklēt pēc IMEI, ja ir (FIFO)", {6, 244, 156, 17}},
    {"btPieskirs", "AutoIepCenSad", "&Piešķirt", {200, 233, 140, 25}},
    {"BtClose", "AutoIepCenSad", "Aizvērt", {200, 262, 140, 25}},
    {"Label3", "AutoIepCenSad", "Process :", {8, 277, 0, 0}},
    {"lstProcess", "AutoIepCenSad", "", {3, 296, 340, 277}},
    {"cmbDatuBaze", "AutoIepCenSad", "", {56, 357, 113, 21}},
};

QString captionOf(const QWidget& widget) {
  if (auto* group = qobject_cast<const QGroupBox*>(&widget)) return group->title();
  if (auto* label = qobject_cast<const QLabel*>(&widget)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(&widget)) return button->text();
  return QString();
}

// The control a focused widget belongs to; a radio item stands for its group, with its index.
QString stopName(const QWidget* focused) {
  if (!focused) return QStringLiteral("(none)");
  if (auto* group = qobject_cast<RadioGroup*>(focused->parentWidget())) {
    for (int index = 0; index < group->count(); ++index)
      if (group->item(index) == focused) return group->objectName() + QStringLiteral("[%1]").arg(index);
  }
  return focused->objectName();
}

class WindowControlsTest : public ShellTest {
 protected:
  TAutoIepCenSad window;
};

TEST_F(WindowControlsTest, EveryControlHasItsNameCaptionAndPlace) {
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* control = window.findChild<QWidget*>(QString::fromLatin1(row.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget()->objectName().toStdString(), row.parent);
    EXPECT_EQ(captionOf(*control).toStdString(), row.caption);
    if (row.geometry.width() == 0)
      EXPECT_EQ(control->pos(), row.geometry.topLeft());
    else
      EXPECT_EQ(control->geometry(), row.geometry);
  }
}

TEST_F(WindowControlsTest, WindowIsAFixedCentredWindowWithoutMaximise) {
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Merosa - 6.00.39.15"));
  EXPECT_EQ(window.minimumSize(), QSize(346, 576));
  EXPECT_EQ(window.maximumSize(), QSize(346, 576));
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_EQ(window.font().pointSize(), 8);

  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_LE((window.frameGeometry().center() - window.screen()->availableGeometry().center()).manhattanLength(), 1);
}

TEST_F(WindowControlsTest, ModesStartAtSkipAndOptionsCleared) {
  for (RadioGroup* modes : {window.shParveitosana, window.shIzrakstisana, window.shAtgriezsana, window.shAtlikumi}) {
    SCOPED_TRACE(modes->objectName().toStdString());
    ASSERT_EQ(modes->count(), 3);
    EXPECT_EQ(modes->item(0)->text(), QStringLiteral("Nepiešķirt"));
    EXPECT_EQ(modes->item(1)->text(), QStringLiteral("Piešķirt tikai ar 0 pašizmaksu"));
    EXPECT_EQ(modes->item(2)->text(), QStringLiteral("Piešķirt visiem no jauna"));
    EXPECT_EQ(modes->itemIndex(), 0);
  }
  for (QCheckBox* option : {window.chkPedejaCena, window.chk1PardCena, window.chkPakalpojumusNe, window.chkIMEI})
    EXPECT_FALSE(option->isChecked()) << option->objectName().toStdString();
  EXPECT_EQ(window.lstProcess->count(), 0);
  EXPECT_TRUE(window.lstProcess->uniformItemSizes());
  EXPECT_EQ(window.lstProcess->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_TRUE(window.cmbDatuBaze->isHidden());
  EXPECT_EQ(window.cmbDatuBaze->count(), 0);
  for (DatePicker* picker : {window.DatumsNo, window.DatumsLidz}) {
    EXPECT_TRUE(picker->calendarPopup());
    EXPECT_FALSE(picker->displayFormat().contains(u'H'));
  }
}

TEST_F(WindowControlsTest, NoCaptionIsCutOff) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(shell::captionsCutOff(window).join(u',').toStdString(), "");
}

TEST_F(WindowControlsTest, ButtonsCarryTheirColoursAndImages) {
  EXPECT_EQ(window.btPieskirs->palette().color(QPalette::ButtonText), QColor(0x00, 0x80, 0x00));
  EXPECT_EQ(window.BtClose->palette().color(QPalette::ButtonText), QColor(0x00, 0x00, 0x80));
  EXPECT_EQ(window.btPieskirs->iconSize(), QSize(16, 16));
  EXPECT_EQ(window.BtClose->iconSize(), QSize(16, 15));
  EXPECT_FALSE(window.btPieskirs->icon().pixmap(16, 16).isNull());
  EXPECT_FALSE(window.BtClose->icon().pixmap(16, 15).isNull());
  const QList<QSize> iconSizes = window.windowIcon().availableSizes();
  EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
  EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
}

TEST_F(WindowControlsTest, TabVisitsTheControlsInOrderAndARadioGroupOnce) {
  window.shIzrakstisana->setItemIndex(2);  // the group's stop is its chosen item
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.DatumsNo->setFocus(Qt::TabFocusReason);

  const QStringList expected{"DatumsNo",          "DatumsLidz", "shParveitosana[0]", "shIzrakstisana[2]",
                             "shAtgriezsana[0]",  "BtClose",    "btPieskirs",        "chkPedejaCena",
                             "shAtlikumi[0]",     "chk1PardCena", "chkPakalpojumusNe", "chkIMEI",
                             "lstProcess",        "DatumsNo"};
  QStringList visited{stopName(QApplication::focusWidget())};
  for (int step = 1; step < expected.size(); ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited << stopName(QApplication::focusWidget());
  }
  EXPECT_EQ(visited.join(u' ').toStdString(), expected.join(u' ').toStdString());
  EXPECT_EQ(window.shIzrakstisana->itemIndex(), 2);
}

TEST_F(WindowControlsTest, ArrowKeysMoveTheChoiceInsideAGroup) {
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.shAtgriezsana->item(0)->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(window.shAtgriezsana->itemIndex(), 1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(window.shAtgriezsana->itemIndex(), 2);
}

TEST_F(WindowControlsTest, AltPPressesTheAssignButton) {
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QSignalSpy clicks(window.btPieskirs, &QPushButton::clicked);
  QTest::keyClick(&window, Qt::Key_P, Qt::AltModifier);
  // A mnemonic presses the button visibly, the click follows a moment later.
  EXPECT_TRUE(QTest::qWaitFor([&] { return clicks.count() == 1; }, 2000));
  // Without a database the button's action reports that it cannot open one.
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, shell::BoxKind::Error);
  EXPECT_EQ(boxes[0].text, "Nevaru atvērt datu bāzi !!!");
}

TEST(RadioGroupTest, AnIndexOutsideTheItemsChecksNoneAndIsKeptUntilAPick) {
  RadioGroup group(QStringLiteral("Pārvietošana :"), {"a", "b", "c"}, nullptr);
  for (const int stored : {0, 1, 2, 3, 77, -1, -5}) {
    group.setItemIndex(1);
    group.setItemIndex(stored);
    EXPECT_EQ(group.itemIndex(), stored);
    for (int index = 0; index < group.count(); ++index)
      EXPECT_EQ(group.item(index)->isChecked(), index == stored) << "stored " << stored << ", item " << index;
  }
  group.setItemIndex(3);
  group.item(2)->click();
  EXPECT_EQ(group.itemIndex(), 2);
}

TEST(DatePickerTest, PickingAnotherDayKeepsTheTimeOfDay) {
  DatePicker picker(nullptr);
  picker.setValue(makeDateTime(2026, 3, 1, 14, 5, 9));
  picker.setDate(QDate(2026, 4, 15));  // as the calendar or the keyboard sets it
  EXPECT_DOUBLE_EQ(picker.value(), makeDateTime(2026, 4, 15, 14, 5, 9));
  EXPECT_EQ(picker.date(), QDate(2026, 4, 15));
}

// Typing as people type a day: after Ctrl+A, after Home, or straight after Tab selected the day, with
// or without separators; Enter or leaving the picker takes it, keeping the time of day; a day the
// pickers do not hold is refused with the reason and the picker keeps its day.
TEST(DatePickerTest, TakesDaysAsPeopleTypeThem) {
  enum class Start { SelectAll, Home, TabIn };
  enum class End { Enter, Leave, Escape };
  const struct {
    const char* scenario;
    Start start;
    const char* keys;  // '<' stands for Backspace
    End end;
    QDate expected;       // invalid: the picker keeps 05.03.2026
    const char* refusal;  // part of the reason given; empty: none
  } rows[] = {
      {"dots after Ctrl+A", Start::SelectAll, "01.08.2026", End::Enter, QDate(2026, 8, 1), ""},
      {"short parts", Start::SelectAll, "1.8.2026", End::Enter, QDate(2026, 8, 1), ""},
      {"eight digits", Start::SelectAll, "01082026", End::Enter, QDate(2026, 8, 1), ""},
      {"six digits", Start::SelectAll, "010826", End::Enter, QDate(2026, 8, 1), ""},
      {"two-digit year", Start::SelectAll, "1.8.26", End::Enter, QDate(2026, 8, 1), ""},
      {"dashes", Start::SelectAll, "1-8-2026", End::Enter, QDate(2026, 8, 1), ""},
      {"dots after Home", Start::Home, "01.08.2026", End::Enter, QDate(2026, 8, 1), ""},
      {"eight digits after Home", Start::Home, "01082026", End::Enter, QDate(2026, 8, 1), ""},
      {"eight digits after Tab", Start::TabIn, "01082026", End::Enter, QDate(2026, 8, 1), ""},
      {"short parts after Tab", Start::TabIn, "1.8.2026", End::Enter, QDate(2026, 8, 1), ""},
      {"taken on leaving", Start::SelectAll, "01.08.2026", End::Leave, QDate(2026, 8, 1), ""},
      {"a day alone keeps the month and year", Start::SelectAll, "12", End::Enter, QDate(2026, 3, 12), ""},
      {"a day and month keep the year", Start::SelectAll, "12.4", End::Enter, QDate(2026, 4, 12), ""},
      {"corrected with Backspace", Start::SelectAll, "01.09<8.2026", End::Enter, QDate(2026, 8, 1), ""},
      {"the year 8202 is refused", Start::SelectAll, "01.08.8202", End::Enter, QDate(), "01.08.8202"},
      {"the year 8202 in digits is refused", Start::SelectAll, "01108202", End::Leave, QDate(), "01.10.8202"},
      {"a day no calendar has", Start::SelectAll, "31.02.2026", End::Enter, QDate(), "31.02.2026"},
      {"Escape drops the text", Start::SelectAll, "01.08.2026", End::Escape, QDate(), ""},
  };
  const DateTime kept = makeDateTime(2026, 3, 5, 14, 5, 9);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scenario);
    QWidget window;
    auto* picker = new DatePicker(&window);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    picker->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    picker->setValue(kept);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    picker->setFocus(row.start == Start::TabIn ? Qt::TabFocusReason : Qt::OtherFocusReason);
    if (row.start == Start::SelectAll) QTest::keyClick(picker, Qt::Key_A, Qt::ControlModifier);
    if (row.start == Start::Home) QTest::keyClick(picker, Qt::Key_Home);
    for (const char key : std::string(row.keys)) {
      if (key == '<')
        QTest::keyClick(picker, Qt::Key_Backspace);
      else
        QTest::keyClick(picker, key);
    }
    if (row.end == End::Enter) QTest::keyClick(picker, Qt::Key_Return);
    if (row.end == End::Escape) QTest::keyClick(picker, Qt::Key_Escape);
    if (row.end == End::Leave) other->setFocus(Qt::TabFocusReason);
    const QDate expected = row.expected.isValid() ? row.expected : QDate(2026, 3, 5);
    EXPECT_EQ(picker->date(), expected);
    EXPECT_DOUBLE_EQ(picker->value(), makeDateTime(expected.year(), expected.month(), expected.day(), 14, 5, 9));
    EXPECT_EQ(picker->text(), expected.toString(QStringLiteral("dd.MM.yyyy")));
    EXPECT_FALSE(picker->typing());
    EXPECT_EQ(picker->refusal().isEmpty(), std::string(row.refusal).empty()) << picker->refusal().toStdString();
    EXPECT_TRUE(picker->refusal().contains(QString::fromUtf8(row.refusal))) << picker->refusal().toStdString();
  }
}

TEST(TypedDayTest, ReadsTheFormatsOrder) {
  const struct {
    const char* format;
    const char* text;
    shell::Typed state;
    QDate day;
  } rows[] = {
      {"dd.MM.yyyy", "01.08.2026", shell::Typed::Day, QDate(2026, 8, 1)},
      {"M/d/yyyy", "8/1/2026", shell::Typed::Day, QDate(2026, 8, 1)},
      {"M/d/yyyy", "08012026", shell::Typed::Day, QDate(2026, 8, 1)},
      {"yyyy-MM-dd", "2026-08-01", shell::Typed::Day, QDate(2026, 8, 1)},
      {"dd.MM.yyyy", "01.08.20", shell::Typed::Day, QDate(2020, 8, 1)},
      {"dd.MM.yyyy", "01.08.202", shell::Typed::Partial, QDate()},
      {"dd.MM.yyyy", "01.08.", shell::Typed::Partial, QDate()},
      {"dd.MM.yyyy", "0108202", shell::Typed::Partial, QDate()},
      {"dd.MM.yyyy", "31.12.1899", shell::Typed::Outside, QDate(1899, 12, 31)},
      {"dd.MM.yyyy", "01.01.2100", shell::Typed::Outside, QDate(2100, 1, 1)},
      {"dd.MM.yyyy", "01.08.2026.1", shell::Typed::Invalid, QDate()},
      {"dd.MM.yyyy", "010820261", shell::Typed::Invalid, QDate()},
      {"dd.MM.yyyy", "001.08.2026", shell::Typed::Invalid, QDate()},
      {"dd.MM.yyyy", "1a.08.2026", shell::Typed::Invalid, QDate()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.format) + " " + row.text);
    const shell::TypedDay read = shell::readTypedDay(QString::fromUtf8(row.text), QString::fromUtf8(row.format));
    EXPECT_EQ(static_cast<int>(read.state), static_cast<int>(row.state));
    EXPECT_EQ(read.day, row.day);
  }
}

TEST(DatePickerTest, ShortDateFormatShowsTheWholeYear) {
  const struct {
    const char* locale;
    const char* format;
  } rows[] = {{"lv_LV", "dd.MM.yyyy"}, {"en_US", "M/d/yyyy"}, {"de_DE", "dd.MM.yyyy"}};
  for (const auto& row : rows)
    EXPECT_EQ(shell::shortDateFormat(QLocale(QString::fromLatin1(row.locale))).toStdString(), row.format)
        << row.locale;
}

}  // namespace
}  // namespace talvix::test
