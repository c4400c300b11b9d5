#include "shell/unpriced_dialog.h"

#include "report/unpriced_csv.h"
#include "shell/save_dialog.h"
#include "shell/unpriced_table.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace talvix::shell {
namespace {

constexpr char kTitle[] = "Rindas bez pašizmaksas";
constexpr char kSave[] = "Saglabāt...";
constexpr char kClose[] = "Aizvērt";
constexpr char kSaveTitle[] = "Saglabāt rindas bez pašizmaksas";
constexpr char kSuggestedName[] = "rindas-bez-pasizmaksas.csv";
constexpr char kReportFilter[] = "CSV faili (*.csv);;Excel darbgrāmatas (*.xlsx);;Visi faili (*)";
constexpr QSize kStartSize(900, 480);
constexpr int kRowPadding = 6;

// The view and its model, both owned by the dialog.
QTableView* table(std::unique_ptr<QStandardItemModel> model, const char* name, QWidget* parent) {
  auto* view = new QTableView(parent);
  view->setObjectName(QString::fromLatin1(name));
  model->setParent(parent);
  view->setModel(model.release());
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setWordWrap(false);
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + kRowPadding);
  view->resizeColumnsToContents();
  return view;
}

// Exactly as tall and wide as its rows.
void fitToRows(QTableView& view) {
  const int height = view.horizontalHeader()->sizeHint().height() +
                     view.model()->rowCount() * view.verticalHeader()->defaultSectionSize() + 2 * view.frameWidth();
  view.setFixedHeight(height);
  view.setFixedWidth(view.horizontalHeader()->length() + 2 * view.frameWidth());
  view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

}  // namespace

UnpricedDialog::UnpricedDialog(const std::vector<UnpricedLine>& unpriced, const RunSettings& settings, QWidget* parent)
    : QDialog(parent), csv_(withByteOrderMark(unpricedCsv(unpriced))), sheet_(latvianUnpricedSheet(unpriced)) {
  setObjectName(QStringLiteral("unpricedDialog"));
  setWindowTitle(QString::fromUtf8(kTitle));
  counts = table(unpricedCountModel(unpricedCounts(unpriced, settings)), "unpricedCounts", this);
  fitToRows(*counts);
  lines = table(unpricedLineModel(unpriced), "unpricedLines", this);
  // The report's order until the person sorts by a column.
  lines->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  lines->setSortingEnabled(true);
  lines->resizeColumnsToContents();  // again, with room for the sort indicator
  const int columnsWidth = lines->horizontalHeader()->length();
  lines->horizontalHeader()->setStretchLastSection(true);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* save = buttons->addButton(QString::fromUtf8(kSave), QDialogButtonBox::ActionRole);
  save->setObjectName(QStringLiteral("saveUnpriced"));
  buttons->addButton(QString::fromUtf8(kClose), QDialogButtonBox::RejectRole);
  connect(save, &QPushButton::clicked, this, &UnpricedDialog::saveReport);
  connect(buttons, &QDialogButtonBox::rejected, this, &UnpricedDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(counts, 0, Qt::AlignLeft);
  layout->addWidget(lines, 1);
  layout->addWidget(buttons);
  resize(startSize(columnsWidth));
}

// Wide enough for every column of the lines; the window manager keeps a wider one on a small screen.
QSize UnpricedDialog::startSize(int columnsWidth) const {
  const QMargins margins = layout()->contentsMargins();
  const int width = columnsWidth + 2 * lines->frameWidth() + lines->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                    margins.left() + margins.right();
  return {std::max(width, kStartSize.width()), kStartSize.height()};
}

// The workbook in the window's words; the CSV file keeps the machine columns --unpriced writes.
void UnpricedDialog::saveReport() {
  saveThroughDialog(this, QString::fromUtf8(kSaveTitle), QString::fromLatin1(kSuggestedName),
                    QString::fromUtf8(kReportFilter), [this](const QString& path) {
                      if (!isXlsxPath(path.toStdString())) return QByteArray::fromStdString(csv_);
                      return QByteArray::fromStdString(xlsxBytes({sheet_}));
                    });
}

}  // namespace talvix::shell
