#include "shell/unpriced_table.h"

#include "data/date_time.h"

#include <QDate>

namespace talvix::shell {
namespace {

constexpr const char* kCountHeaders[] = {"Veids", "Rindas"};
const char* const* kLineHeaders = kLatvianUnpricedHeaders;
static_assert(kLatvianUnpricedColumns == kUnpricedColumns);

// Shown as text, sorted by value.
QStandardItem* cell(const QString& text, const QVariant& value) {
  auto* item = new QStandardItem(text);
  item->setData(value, kSortRole);
  item->setEditable(false);
  return item;
}

QStandardItem* textCell(const QString& text) { return cell(text, text); }

QStandardItem* rightAligned(QStandardItem* item) {
  item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

QStandardItem* numberCell(long long value) { return rightAligned(cell(QString::number(value), value)); }

QStandardItem* numberCell(double value) { return rightAligned(cell(QString::fromStdString(csvNumber(value)), value)); }

QDate calendarDate(DateTime date) {
  int year, month, day;
  decodeDate(date, year, month, day);
  return QDate(year, month, day);
}

void setHeaders(QStandardItemModel& model, const char* const* headers, int count) {
  QStringList labels;
  for (int column = 0; column < count; ++column) labels << QString::fromUtf8(headers[column]);
  model.setHorizontalHeaderLabels(labels);
}

std::unique_ptr<QStandardItemModel> emptyModel(const char* const* headers, int columns) {
  auto model = std::make_unique<QStandardItemModel>(0, columns);
  model->setSortRole(kSortRole);
  setHeaders(*model, headers, columns);
  return model;
}

}  // namespace

QString kindCaption(DocumentKind kind) { return QString::fromStdString(latvianKindName(kind)); }

std::unique_ptr<QStandardItemModel> unpricedCountModel(const std::vector<KindCount>& counts) {
  auto model = emptyModel(kCountHeaders, 2);
  for (const KindCount& each : counts)
    model->appendRow({textCell(kindCaption(each.kind)), numberCell(static_cast<long long>(each.count))});
  return model;
}

std::unique_ptr<QStandardItemModel> unpricedLineModel(const std::vector<UnpricedLine>& lines) {
  auto model = emptyModel(kLineHeaders, kUnpricedColumns);
  for (const UnpricedLine& l : lines) {
    model->appendRow(
        {textCell(kindCaption(l.kind)), cell(QString::fromStdString(reportDate(l.date)), calendarDate(l.date)),
         numberCell(static_cast<long long>(l.dept)), numberCell(static_cast<long long>(l.goods)),
         textCell(QString::fromStdString(l.goodsName)), numberCell(l.quantity),
         numberCell(static_cast<long long>(l.isn)), textCell(QString::fromStdString(latvianRuleName(l.rule))),
         textCell(QString::fromStdString(l.latvianReason))});
  }
  return model;
}

}  // namespace talvix::shell
