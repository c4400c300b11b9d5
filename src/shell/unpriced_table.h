#pragma once
// The period's lines still without cost as the window shows them: a count for every kind whose
// mode is not 0 (as report/unpriced_csv.h counts them for the host) and a row per line, each cell
// shown as text and sorted by its value (sortRole). Kinds go by the window's captions; the rule and
// the reason are the report's Latvian words, as in its CSV's last two columns.
#include "report/unpriced_csv.h"

#include <QStandardItemModel>
#include <QString>

#include <memory>
#include <vector>

namespace talvix::shell {

inline constexpr int kSortRole = Qt::UserRole;

enum UnpricedColumn { kKindColumn, kDateColumn, kDeptColumn, kGoodsColumn, kNameColumn, kQuantityColumn,
                      kLineColumn, kRuleColumn, kReasonColumn, kUnpricedColumns };

// "Pārvietošana", "Izrakstīšana", "Atgriezšana", "Preču atlikumi".
QString kindCaption(DocumentKind kind);

// Kind and count, one row per kind.
std::unique_ptr<QStandardItemModel> unpricedCountModel(const std::vector<KindCount>& counts);
// One row per line in the report's order, the columns as UnpricedColumn.
std::unique_ptr<QStandardItemModel> unpricedLineModel(const std::vector<UnpricedLine>& lines);

}  // namespace talvix::shell
