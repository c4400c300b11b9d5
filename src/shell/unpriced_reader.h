#pragma once
// Reads the period's lines still without cost (unpriced_report.h) on a thread of its own, over an
// attachment of its own to the database, so the window's thread stays free while a large database
// is read. cancel() ends it soon: the statement running on its attachment is cancelled, again every
// few tens of milliseconds until the thread has left. finished() comes on the thread that made the
// reader, once, also after a cancel or a failure. The window owns it; destroying it cancels and
// waits for the thread. Free of widgets.
#include "report/unpriced_report.h"
#include "step/run_settings.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace talvix {
class Connection;
}

namespace talvix::shell {

class UnpricedReader : public QObject {
  Q_OBJECT

 public:
  // settings: as a run takes them (their modes say which kinds are read).
  UnpricedReader(std::string connectionString, const RunSettings& settings, QObject* parent = nullptr);
  ~UnpricedReader() override;
  UnpricedReader(const UnpricedReader&) = delete;
  UnpricedReader& operator=(const UnpricedReader&) = delete;

  void start();
  void cancel();
  bool cancelled() const { return cancelled_; }
  bool reading() const { return thread_.joinable(); }

  // After finished(): the lines, or the failure's text (empty when it read them).
  const std::vector<UnpricedLine>& lines() const { return lines_; }
  const std::string& error() const { return error_; }

 signals:
  void finished();

 private:
  void read();
  void cancelStatement();
  void joinThread();

  std::string connectionString_;
  RunSettings settings_;
  std::thread thread_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> done_{false};
  std::mutex connectionMutex_;
  Connection* connection_ = nullptr;  // the thread's attachment while it is open
  QTimer recancel_;
  std::vector<UnpricedLine> lines_;
  std::string error_;
};

}  // namespace talvix::shell
