#include "shell/auto_iep_cen_sad.h"

#include "shell/caption_fit.h"
#include "shell/date_picker.h"
#include "shell/log_text.h"
#include "shell/message_boxes.h"
#include "shell/progress_list.h"
#include "shell/progress_menu.h"
#include "shell/radio_group.h"
#include "shell/run_input_gate.h"
#include "shell/save_dialog.h"
#include "shell/unpriced_dialog.h"
#include "shell/unpriced_reader.h"
#include "step/stop_request.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QSocketNotifier>
#include <QTime>

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

TAutoIepCenSad* AutoIepCenSad = nullptr;

using namespace talvix;
using namespace talvix::shell;

namespace {

constexpr char kCaption[] = "Merosa - 6.00.39.15";
constexpr int kClientWidth = 346;
constexpr int kClientHeight = 576;
constexpr int kFontPoints = 8;
// The narrowest the font may get to keep every caption whole.
constexpr int kNarrowestStretch = QFont::ExtraCondensed;
constexpr int kStretchStep = 2;

constexpr char kSaveLogTitle[] = "Saglabāt žurnālu";
constexpr char kLogFileName[] = "autoiepcensad-zurnals.txt";
constexpr char kLogFilter[] = "Teksta faili (*.txt);;Visi faili (*)";
constexpr char kUnpricedTitle[] = "Rindas bez pašizmaksas — %1, %2–%3";
constexpr char kReadingUnpriced[] = "Lasu perioda rindas bez pašizmaksas...";
constexpr char kCancelReading[] = "Atcelt";
constexpr char kContinuousRun[] = "Darbojas nepārtraukti; Esc aptur";
constexpr char kSingleRun[] = "Piešķir; Esc aptur";
constexpr char kResting[] = "Gaida izmaiņas kopš %1; Esc aptur";
constexpr char kNothingChangedYet[] = "vēl nekas nav mainīts";
constexpr char kLastResult[] = "%1: %2";
constexpr char kPricingCount[] = "%v no %m";
constexpr char kResettingCount[] = "Dzēšu %v no %m";  // the total the log's "Dzēšu n" has not
// A run shorter than this shows no bar; a bar is repainted at most once a frame.
constexpr qint64 kMomentMs = 400;
constexpr qint64 kBarFrameMs = 30;

const QStringList& modeItems() {
  static const QStringList items{QStringLiteral("Nepiešķirt"), QStringLiteral("Piešķirt tikai ar 0 pašizmaksu"),
                                 QStringLiteral("Piešķirt visiem no jauna")};
  return items;
}

template <typename Control>
Control* place(Control* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

// A label sizes itself to its caption.
QLabel* placeLabel(QLabel* label, const char* name, int left, int top) {
  label->setObjectName(QString::fromLatin1(name));
  label->move(left, top);
  label->adjustSize();
  return label;
}

// A greyed button keeps the style's grey, so that it looks off during a run.
void setCaptionColour(QPushButton* button, const QColor& colour) {
  QPalette palette = button->palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    palette.setColor(group, QPalette::ButtonText, colour);
  button->setPalette(palette);
}

// The window's state for the life of a run (TAutoIepCenSad::setRunning).
class Running {
 public:
  explicit Running(std::function<void(bool)> set) : set_(std::move(set)) { set_(true); }
  ~Running() { set_(false); }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

 private:
  std::function<void(bool)> set_;
};

}  // namespace

TAutoIepCenSad::TAutoIepCenSad(QWidget* parent) : QWidget(parent), session_(*this) {
  setUpWindow();
  createPeriodControls();
  createOptions();
  createModeGroups();
  createButtons();
  createProgressLog();
  createProgressMenu();
  createDatabaseList();
  setFocusOrder();
  connectHandlers();
  fitCaptions();
  AutoIepCenSad = this;
}

TAutoIepCenSad::~TAutoIepCenSad() {
  if (AutoIepCenSad == this) AutoIepCenSad = nullptr;
}

// --- controls -----------------------------------------------------------------------------------

void TAutoIepCenSad::setUpWindow() {
  setObjectName(QStringLiteral("AutoIepCenSad"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/window16.xpm"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/icons/window32.xpm"), QSize(32, 32));
  setWindowIcon(icon);
}

void TAutoIepCenSad::createPeriodControls() {
  LaikaPeriods = place(new QGroupBox(QStringLiteral("Laika periods"), this), "LaikaPeriods", 65, 0, 256, 49);
  Label1 = placeLabel(new QLabel(QStringLiteral("No :"), LaikaPeriods), "Label1", 8, 20);
  DatumsNo = place(new DatePicker(LaikaPeriods), "DatumsNo", 32, 16, 89, 21);
  Label2 = placeLabel(new QLabel(QStringLiteral("Līdz :"), LaikaPeriods), "Label2", 128, 20);
  DatumsLidz = place(new DatePicker(LaikaPeriods), "DatumsLidz", 164, 16, 89, 21);
  DatumsNo->setValue(todayLocal());
  DatumsLidz->setValue(todayLocal());
}

void TAutoIepCenSad::createOptions() {
  chkPedejaCena = place(new QCheckBox(QStringLiteral("Lietot pēdējo iepirkuma cenu, kas  nav 0"), this),
                        "chkPedejaCena", 119, 49, 222, 17);
  chk1PardCena = place(new QCheckBox(QStringLiteral("Pārv.un izrakst. iep.cena = 1. pārd,cena"), this), "chk1PardCena",
                       119, 65, 215, 17);
  chkPakalpojumusNe =
      place(new QCheckBox(QStringLiteral("Neapstrādāt pakalpojumus"), this), "chkPakalpojumusNe", 6, 227, 153, 17);
  chkIMEI = place(new QCheckBox(QStringLiteral("Meklēt pēc IMEI, ja ir (FIFO)"), this), "chkIMEI", 6, 244, 156, 17);
}

// The radio groups the window's interface names; every kind's group takes its object name and
// title from its kind's row.
struct NamedGroup {
  DocumentKind kind;
  RadioGroup* TAutoIepCenSad::*control;
};
constexpr NamedGroup kNamedGroups[] = {{DocumentKind::Transfer, &TAutoIepCenSad::shParveitosana},
                                       {DocumentKind::Issue, &TAutoIepCenSad::shIzrakstisana},
                                       {DocumentKind::Return, &TAutoIepCenSad::shAtgriezsana},
                                       {DocumentKind::Balance, &TAutoIepCenSad::shAtlikumi}};
// Two columns of groups under the period, two rows deep; groups beyond those four take further
// columns of two to the right, the window widening to hold them.
constexpr int kModeGroupLeft = 1;
constexpr int kModeGroupTop = 88;
constexpr int kModeGroupColumnStep = 172;
constexpr int kModeGroupRowStep = 72;
constexpr int kModeGroupWidth = 169;
constexpr int kModeGroupHeight = 65;
constexpr int kModeGroupsPerColumn = 2;
constexpr int kModeGroupsUnderPeriod = 4;

QRect modeGroupPlace(int index) {
  const bool under = index < kModeGroupsUnderPeriod;
  const int column = under ? index % 2 : 2 + (index - kModeGroupsUnderPeriod) / kModeGroupsPerColumn;
  const int row = under ? index / 2 : (index - kModeGroupsUnderPeriod) % kModeGroupsPerColumn;
  return QRect(kModeGroupLeft + kModeGroupColumnStep * column, kModeGroupTop + kModeGroupRowStep * row, kModeGroupWidth,
               kModeGroupHeight);
}

void TAutoIepCenSad::createModeGroups() {
  // The room the window leaves right of the groups under the period, kept right of any further ones.
  const int rightMargin = kClientWidth - (modeGroupPlace(1).right() + 1);
  int width = kClientWidth;
  for (const DocumentKind kind : kAllKinds) {
    const KindNames& names = kindRow(kind).names;
    const QRect at = modeGroupPlace(static_cast<int>(kindIndex(kind)));
    modeGroups_[kindIndex(kind)] = place(new RadioGroup(QString::fromUtf8(names.caption), modeItems(), this),
                                         names.control, at.x(), at.y(), at.width(), at.height());
    width = std::max(width, at.right() + 1 + rightMargin);
  }
  if (width != kClientWidth) setFixedSize(width, kClientHeight);
  for (const NamedGroup& named : kNamedGroups) this->*named.control = modeGroup(named.kind);
  for (RadioGroup* group : modeGroups_) group->setItemIndex(kSkip);
}

void TAutoIepCenSad::createButtons() {
  btPieskirs = place(new QPushButton(QIcon(QStringLiteral(":/icons/assign.xpm")), QStringLiteral("&Piešķirt"), this),
                     "btPieskirs", 200, 233, 140, 25);
  btPieskirs->setIconSize(QSize(16, 16));
  setCaptionColour(btPieskirs, QColor(0x00, 0x80, 0x00));
  BtClose = place(new QPushButton(QIcon(QStringLiteral(":/icons/close.xpm")), QStringLiteral("Aizvērt"), this),
                  "BtClose", 200, 262, 140, 25);
  BtClose->setIconSize(QSize(16, 15));
  setCaptionColour(BtClose, QColor(0x00, 0x00, 0x80));
  for (QPushButton* button : {btPieskirs, BtClose}) button->setAutoDefault(false);
}

void TAutoIepCenSad::createProgressLog() {
  Label3 = placeLabel(new QLabel(QStringLiteral("Process :"), this), "Label3", 8, 277);
  lstProcess = place(new ProgressList(this), "lstProcess", 3, 296, 340, 277);
  // Between the options and the log, left of the buttons: the room no control of the form takes.
  lblDarbiba = place(new QLabel(this), "lblDarbiba", 6, 262, 190, 15);
  QPalette palette = lblDarbiba->palette();
  palette.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
  lblDarbiba->setPalette(palette);
  lblDarbiba->hide();
  // Right of "Process :", left of the close button (placeStatusRow puts it once the captions fit).
  pbProcess = new QProgressBar(this);
  pbProcess->setObjectName(QStringLiteral("pbProcess"));
  pbProcess->setTextVisible(true);
  pbProcess->hide();
  lblRezultats = new QLabel(this);
  lblRezultats->setObjectName(QStringLiteral("lblRezultats"));
  lblRezultats->setPalette(palette);
  lblRezultats->hide();
}

void TAutoIepCenSad::placeStatusRow() {
  constexpr int kGap = 6, kRight = 196, kTop = 278, kHeight = 16;
  const int left = Label3->geometry().right() + kGap;
  pbProcess->setGeometry(left, kTop, kRight - left, kHeight);
  lblRezultats->setGeometry(left, kTop, kRight - left, kHeight);
}

void TAutoIepCenSad::createProgressMenu() { progressMenu = new ProgressMenu(this); }

void TAutoIepCenSad::createDatabaseList() {
  cmbDatuBaze = place(new QComboBox(this), "cmbDatuBaze", 56, 357, 113, 21);
  cmbDatuBaze->hide();
}

void TAutoIepCenSad::setFocusOrder() {
  QList<QWidget*> stops{DatumsNo,   DatumsLidz,    shParveitosana, shIzrakstisana, shAtgriezsana,     BtClose,
                        btPieskirs, chkPedejaCena, shAtlikumi,     chk1PardCena,   chkPakalpojumusNe, chkIMEI};
  // The groups the interface does not name follow, in the rows' order, before the log.
  for (RadioGroup* group : modeGroups_)
    if (!stops.contains(group)) stops << group;
  stops << lstProcess;
  // A radio group is one stop: its items stand in the chain together and only the chosen one takes Tab.
  QList<QWidget*> chain;
  for (QWidget* stop : stops) {
    if (auto* modes = qobject_cast<RadioGroup*>(stop))
      for (int index = 0; index < modes->count(); ++index) chain << modes->item(index);
    else
      chain << stop;
  }
  for (qsizetype index = 1; index < chain.size(); ++index) QWidget::setTabOrder(chain[index - 1], chain[index]);
}

void TAutoIepCenSad::connectHandlers() {
  connect(btPieskirs, &QPushButton::clicked, this, &TAutoIepCenSad::btPieskirsClick);
  connect(BtClose, &QPushButton::clicked, this, &TAutoIepCenSad::BtCloseClick);
  connect(lstProcess, &ProgressList::customContextMenuRequested, this, &TAutoIepCenSad::showProgressMenu);
  connect(lstProcess, &ProgressList::copyAsked, this, &TAutoIepCenSad::copyLog);
  connect(progressMenu->copyLog, &QAction::triggered, this, &TAutoIepCenSad::copyLog);
  connect(progressMenu->copyAll, &QAction::triggered, this, &TAutoIepCenSad::copyWholeLog);
  connect(progressMenu->saveLog, &QAction::triggered, this, &TAutoIepCenSad::saveLog);
  connect(progressMenu->unpricedLines, &QAction::triggered, this, &TAutoIepCenSad::showUnpricedLines);
}

// The desktop's sans font at 8 points, narrowed as far as needed for every caption to fit the fixed
// sizes the window was laid out for.
void TAutoIepCenSad::fitCaptions() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(kFontPoints);
  for (int stretch = QFont::Unstretched;; stretch -= kStretchStep) {
    font.setStretch(stretch);
    setFont(font);
    for (QLabel* label : {Label1, Label2, Label3}) label->adjustSize();
    if (captionsCutOff(*this).isEmpty() || stretch - kStretchStep < kNarrowestStretch) break;
  }
  placeStatusRow();
}

// --- handlers -----------------------------------------------------------------------------------

void TAutoIepCenSad::FormCreate() {
  runGuarded(this, [this] { create(); });
}

// Where the database does not open the controls keep what they hold; an error loading the stored
// settings leaves creation with what was read shown.
// An idle window holds no attachment: another program may open an embedded database meanwhile.
void TAutoIepCenSad::create() {
  try {
    session().create();
  } catch (...) {
    session_.detachWhileIdle();
    showCreated();
    throw;
  }
  session_.detachWhileIdle();
  showCreated();
}

void TAutoIepCenSad::showCreated() {
  cmbDatuBaze->clear();
  for (const std::string& name : session_.databaseNames()) cmbDatuBaze->addItem(QString::fromStdString(name));
  showSessionSettings();
}

bool TAutoIepCenSad::typePeriod(QDate from, QDate to) {
  if (!session().typePeriod(from, to)) return false;
  DatumsNo->setValue(session_.settings().dateFrom);
  DatumsLidz->setValue(session_.settings().dateTo);
  return true;
}

RunSession& TAutoIepCenSad::session() {
  session_.setSettings(settingsFromControls());
  return session_;
}

void TAutoIepCenSad::DllCallMakePasizm() {
  show();
  btPieskirsClick();
}

void TAutoIepCenSad::btPieskirsClick() {
  // A day typed and not yet taken is the period the person means; a refused one runs nothing.
  if (!takeTypedPeriod()) return;
  closeAfterStop_ = false;
  stoppedByEscape_ = false;
  bool stopped = false;
  runGuarded(this, [&] {
    try {
      runDispatcher();
    } catch (const RunStopped&) {
      stopped = true;
    }
  });
  // Closed during the run: it closes now as it would have then, also when the run ended first.
  // Escape keeps it open, for the log to be read, copied or saved.
  if (closeAfterStop_)
    close();
  else if (stopped && !stoppedByEscape_)
    endAfterStop();
  else
    lstProcess->setFocus(Qt::OtherFocusReason);  // for Ctrl+C and the Menu key on what the run wrote
}

bool TAutoIepCenSad::takeTypedPeriod() {
  const bool from = DatumsNo->takeTyped();
  const bool to = DatumsLidz->takeTyped();
  return from && to;
}

void TAutoIepCenSad::askStop() {
  closeAfterStop_ = true;
  requestStop();
}

void TAutoIepCenSad::stopKeepingWindow() {
  stoppedByEscape_ = true;
  requestStop();
}

// The stop signals go to the run meanwhile (its stop points); one that it left unread is heard once
// the message loop has the window again. Greyed controls show that the run holds them.
void TAutoIepCenSad::setRunning(bool running) {
  running_ = running;
  if (stopSignals_) stopSignals_->setEnabled(!running);
  for (QWidget* control : std::initializer_list<QWidget*>{LaikaPeriods, chkPedejaCena, chk1PardCena, chkPakalpojumusNe,
                                                          chkIMEI, btPieskirs})
    control->setEnabled(!running);
  for (RadioGroup* group : modeGroups_) group->setEnabled(!running);
  if (running) return;
  for (QWidget* status : std::initializer_list<QWidget*>{lblDarbiba, pbProcess, lblRezultats}) status->hide();
}

void TAutoIepCenSad::pricingStarts(bool continuous) {
  continuousRun_ = continuous;
  restingSince_.clear();
  lastResult_ = QString::fromUtf8(kNothingChangedYet);
  lblRezultats->setToolTip(QString());
  runClock_.start();
  lblDarbiba->setText(QString::fromUtf8(continuous ? kContinuousRun : kSingleRun));
  lblDarbiba->show();
}

void TAutoIepCenSad::runSummed(const std::string& line, const std::string& brief) {
  lastResult_ =
      QString::fromUtf8(kLastResult).arg(QTime::currentTime().toString(u"HH:mm:ss"), QString::fromStdString(brief));
  lblRezultats->setToolTip(QString::fromStdString(line));
}

// A pass that finds nothing to do is part of the rest: the line keeps the time the rest began
// until a pass changes costs.
void TAutoIepCenSad::runActivity(Activity activity, long long value) {
  if (!continuousRun_) return;
  if (activity == Activity::PassEnded && value > 0) {
    restingSince_.clear();
    lblDarbiba->setText(QString::fromUtf8(kContinuousRun));
  }
  if (activity == Activity::Resting) {
    if (restingSince_.isEmpty()) restingSince_ = QTime::currentTime().toString(u"HH:mm:ss");
    showResting();
  } else if (activity == Activity::PassStarted && restingSince_.isEmpty()) {
    lblDarbiba->setText(QString::fromUtf8(kContinuousRun));
  }
}

void TAutoIepCenSad::showResting() {
  lblDarbiba->setText(QString::fromUtf8(kResting).arg(restingSince_));
  lblRezultats->setText(lblRezultats->fontMetrics().elidedText(lastResult_, Qt::ElideRight, lblRezultats->width()));
  pbProcess->hide();
  lblRezultats->show();
  lblDarbiba->repaint();
  lblRezultats->repaint();
}

void TAutoIepCenSad::progress(Counting counting, std::int64_t done, std::int64_t total) {
  if (!running_ || total <= 0 || !runClock_.isValid() || runClock_.elapsed() < kMomentMs) return;
  const bool last = done >= total;
  if (pbProcess->isVisible() && !last && sinceBar_.isValid() && sinceBar_.elapsed() < kBarFrameMs) return;
  sinceBar_.start();
  // The bar counts in int; a count beyond it is shown in proportion.
  constexpr auto kMost = static_cast<double>(std::numeric_limits<int>::max());
  const double scale = static_cast<double>(total) > kMost ? kMost / static_cast<double>(total) : 1.0;
  pbProcess->setFormat(QString::fromUtf8(counting == Counting::Resetting ? kResettingCount : kPricingCount)
                           .replace(QStringLiteral("%v"), QString::number(done))
                           .replace(QStringLiteral("%m"), QString::number(total)));
  pbProcess->setRange(0, static_cast<int>(static_cast<double>(total) * scale));
  pbProcess->setValue(static_cast<int>(static_cast<double>(done) * scale));
  if (!pbProcess->isVisible()) {
    lblRezultats->hide();
    pbProcess->show();
  }
  pbProcess->repaint();
}

// A run stopped from outside has committed its work and logged the stop; the program ends with it.
void TAutoIepCenSad::endAfterStop() {
  session_.requestTerminate();
  QCoreApplication::quit();
}

void TAutoIepCenSad::runDispatcher() {
  session().requireOpen();
  if (session_.refuseNothingToPrice()) return;
  const Running running([this](bool on) { setRunning(on); });
  const RunInputGate gate(
      *this, [this] { stopKeepingWindow(); }, BtClose);
  const ActivityListener listener(
      [this](Activity activity, long long value, const std::string&) { runActivity(activity, value); });
  session_.runCosting();
}

std::vector<UnpricedLine> TAutoIepCenSad::unpricedLines() { return session().unpricedLines(); }

std::optional<CostChanges> TAutoIepCenSad::previewChanges() {
  session().requireOpen();
  const Running running([this](bool on) { setRunning(on); });
  return session_.previewChanges();
}

std::string TAutoIepCenSad::explainLine(DocumentKind kind, int isn) { return session().explainLine(kind, isn); }

bool TAutoIepCenSad::costsByFifo() { return session().costsByFifo(); }

void TAutoIepCenSad::BtCloseClick() { close(); }

// --- progress list's menu -------------------------------------------------------------------------

void TAutoIepCenSad::showProgressMenu(const QPoint& pos) {
  if (running_) return;
  const bool anyLine = lstProcess->count() > 0;
  progressMenu->copyLog->setEnabled(anyLine);
  progressMenu->copyAll->setEnabled(anyLine);
  progressMenu->saveLog->setEnabled(anyLine);
  progressMenu->unpricedLines->setEnabled(session_.databaseOpen());
  progressMenu->openOver(*lstProcess->viewport(), pos);
}

// The line the person chose, or the whole log.
void TAutoIepCenSad::copyLog() {
  if (running_ || lstProcess->count() == 0) return;
  const int chosen = lstProcess->chosenRow();
  const QStringList lines = chosen < 0 ? wholeLog() : QStringList{lstProcess->item(chosen)->text()};
  QGuiApplication::clipboard()->setText(clipboardText(lines));
}

void TAutoIepCenSad::copyWholeLog() {
  if (running_ || lstProcess->count() == 0) return;
  QGuiApplication::clipboard()->setText(clipboardText(wholeLog()));
}

QStringList TAutoIepCenSad::wholeLog() const {
  LogHeading heading;
  heading.day = QDate::currentDate().toString(DatumsNo->displayFormat());
  heading.database = QString::fromStdString(session_.databaseName());
  heading.connection = QString::fromStdString(session_.connectionString());
  heading.periodFrom = DatumsNo->text();
  heading.periodTo = DatumsLidz->text();
  if (const std::optional<bool> fifo = session_.fifoMethod()) heading.method = QString::fromUtf8(methodName(*fifo));
  return headingLines(heading) + lstProcess->lines();
}

void TAutoIepCenSad::saveLog() {
  if (running_ || lstProcess->count() == 0) return;
  saveThroughDialog(this, QString::fromUtf8(kSaveLogTitle), QString::fromLatin1(kLogFileName),
                    QString::fromUtf8(kLogFilter), logFileText(wholeLog()));
}

// Reads under the controls as they stand; the log and the settings stay as they are.
void TAutoIepCenSad::showUnpricedLines() {
  if (running_ || unpricedReader_ || !takeTypedPeriod()) return;
  unpricedTitle_ = unpricedTitle();
  unpricedReader_ = std::make_unique<UnpricedReader>(session_.connectionString(), settingsFromControls());
  connect(unpricedReader_.get(), &UnpricedReader::finished, this, &TAutoIepCenSad::unpricedRead);
  auto* busy = new QProgressDialog(QString::fromUtf8(kReadingUnpriced), QString::fromUtf8(kCancelReading), 0, 0, this);
  busy->setObjectName(QStringLiteral("unpricedBusy"));
  busy->setWindowTitle(unpricedTitle_);
  busy->setWindowModality(Qt::WindowModal);
  busy->setMinimumDuration(0);
  busy->setAutoClose(false);
  busy->setAutoReset(false);
  busy->setAttribute(Qt::WA_DeleteOnClose);
  connect(busy, &QProgressDialog::canceled, unpricedReader_.get(), &UnpricedReader::cancel);
  unpricedBusy_ = busy;
  unpricedReader_->start();
  busy->open();
  busy->setValue(0);  // a progress dialog paints its busy bar once it has a value
}

void TAutoIepCenSad::unpricedRead() {
  const std::unique_ptr<UnpricedReader> reader = std::move(unpricedReader_);
  if (unpricedBusy_) {
    unpricedBusy_->disconnect(reader.get());  // closing the box would read as a cancel
    unpricedBusy_->close();
  }
  if (reader->cancelled()) return;
  if (!reader->error().empty()) {
    showErrorBox(this, reader->error());
    return;
  }
  auto* dialog = new UnpricedDialog(reader->lines(), settingsFromControls().withRunModes(), this);
  dialog->setWindowTitle(unpricedTitle_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  unpricedShown_ = dialog;
  dialog->open();
}

QProgressDialog* TAutoIepCenSad::unpricedBusy() const { return unpricedBusy_.data(); }

UnpricedDialog* TAutoIepCenSad::unpricedShown() const { return unpricedShown_.data(); }

QString TAutoIepCenSad::unpricedTitle() const {
  return QString::fromUtf8(kUnpricedTitle)
      .arg(QString::fromStdString(session_.databaseName()), DatumsNo->text(), DatumsLidz->text());
}

std::unique_ptr<UnpricedDialog> TAutoIepCenSad::unpricedDialog() {
  return std::make_unique<UnpricedDialog>(unpricedLines(), settingsFromControls().withRunModes(), this);
}

void TAutoIepCenSad::watchStopSignals() {
  const int fd = stopSignalFd();
  if (fd < 0 || stopSignals_) return;
  stopSignals_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(stopSignals_, &QSocketNotifier::activated, this, &TAutoIepCenSad::closeOnStopSignal);
}

// The window is waiting for input: the signal is answered here, by closing as the title bar does.
// A box open over the window goes first, as if dismissed, since it would hold the close.
void TAutoIepCenSad::closeOnStopSignal() {
  drainStopSignals();
  clearStopRequest();
  for (QWidget* box = QApplication::activeModalWidget(); box && box != this; box = QApplication::activeModalWidget())
    if (!box->close()) break;
  close();
}

void TAutoIepCenSad::FormClose() { SaveSettings(); }

void TAutoIepCenSad::closeEvent(QCloseEvent* event) {
  // A run holds the window until it has stopped; a start that failed, or a run stopped from
  // outside, writes nothing.
  if (running_) {
    askStop();
    event->ignore();
    return;
  }
  if (!session_.terminateRequested() && !runGuarded(this, [this] { FormClose(); })) {
    event->ignore();
    return;
  }
  event->accept();
}

void TAutoIepCenSad::showEvent(QShowEvent* event) {
  if (!centred_) {
    centreOnScreen();
    centred_ = true;
  }
  QWidget::showEvent(event);
}

void TAutoIepCenSad::centreOnScreen() {
  const QScreen* target = screen();
  if (!target) return;
  QRect frame = frameGeometry();
  frame.moveCenter(target->availableGeometry().center());
  move(frame.topLeft());
}

// --- settings -----------------------------------------------------------------------------------

void TAutoIepCenSad::SaveSettings() { session().SaveSettings(); }

RunSettings TAutoIepCenSad::settingsFromControls() const {
  RunSettings settings;
  settings.dateFrom = DatumsNo->value();
  settings.dateTo = DatumsLidz->value();
  for (const DocumentKind kind : kAllKinds) settings.mode(kind) = modeGroup(kind)->itemIndex();
  settings.lastPurchasePrice = chkPedejaCena->isChecked();
  settings.firstSalePrice = chk1PardCena->isChecked();
  settings.skipServices = chkPakalpojumusNe->isChecked();
  settings.serialLookup = chkIMEI->isChecked();
  return settings;
}

void TAutoIepCenSad::showSettings(const RunSettings& settings) {
  DatumsNo->setValue(settings.dateFrom);
  DatumsLidz->setValue(settings.dateTo);
  for (const DocumentKind kind : kAllKinds) modeGroup(kind)->setItemIndex(settings.mode(kind));
  chkPedejaCena->setChecked(settings.lastPurchasePrice);
  chk1PardCena->setChecked(settings.firstSalePrice);
  chkPakalpojumusNe->setChecked(settings.skipServices);
  chkIMEI->setChecked(settings.serialLookup);
}

// --- run front ----------------------------------------------------------------------------------

void TAutoIepCenSad::showMessage(const std::string& text) { showMessageBox(this, text); }

void TAutoIepCenSad::AddProcessLine(const std::string& text, bool replaceLast) {
  lstProcess->addLine(text, replaceLast);
}

// Steps ask for a repaint per line during a reset; once a frame is all the eye can see.
void TAutoIepCenSad::repaintWindow() {
  constexpr qint64 kFrameMs = 30;
  if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kFrameMs) return;
  repaint();
  sinceRepaint_.start();
}
