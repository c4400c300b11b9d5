#pragma once
// "Rindas bez pašizmaksas": the period's lines still without cost, counted by kind and listed with
// the rule and the reason in Latvian, every column sortable, the dialog wide enough for every
// column; "Saglabāt..." keeps them as the host's CSV file, or as its workbook for a name ending in
// ".xlsx". It
// shows what it was given and reads nothing itself; the window reads the lines (a read-only query).
#include "report/unpriced_report.h"
#include "report/xlsx_file.h"
#include "step/run_settings.h"

#include <QDialog>

#include <string>
#include <vector>

class QTableView;

namespace talvix::shell {

class UnpricedDialog : public QDialog {
  Q_OBJECT

 public:
  // settings: the ones the lines were read under (the modes say which kinds are counted).
  UnpricedDialog(const std::vector<UnpricedLine>& lines, const RunSettings& settings, QWidget* parent);

  QTableView* counts = nullptr;
  QTableView* lines = nullptr;

 private:
  void saveReport();
  QSize startSize(int columnsWidth) const;

  std::string csv_;
  Sheet sheet_;
};

}  // namespace talvix::shell
