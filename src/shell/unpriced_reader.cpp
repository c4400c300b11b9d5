#include "shell/unpriced_reader.h"

#include "pricing/library.h"
#include "registry/memory_registry_store.h"
#include "run/dispatcher.h"

#include <chrono>
#include <stdexcept>

namespace talvix::shell {
namespace {

constexpr int kRecancelMs = 50;
constexpr char kCancelled[] = "atcelts";

// The report writes no line; a log is only a place to put none.
class NoLog : public ProgressLog {
 public:
  void AddProcessLine(const std::string&, bool) override {}
  void repaintWindow() override {}
};

}  // namespace

UnpricedReader::UnpricedReader(std::string connectionString, const RunSettings& settings, QObject* parent)
    : QObject(parent), connectionString_(std::move(connectionString)), settings_(settings.withRunModes()) {
  recancel_.setInterval(kRecancelMs);
  connect(&recancel_, &QTimer::timeout, this, &UnpricedReader::cancelStatement);
}

UnpricedReader::~UnpricedReader() {
  cancelled_ = true;
  while (reading() && !done_) {
    cancelStatement();
    std::this_thread::sleep_for(std::chrono::milliseconds(kRecancelMs / 5));
  }
  joinThread();
}

void UnpricedReader::start() {
  if (reading()) return;
  done_ = false;
  thread_ = std::thread([this] { read(); });
}

void UnpricedReader::cancel() {
  cancelled_ = true;
  cancelStatement();
  if (reading() && !done_) recancel_.start();
}

void UnpricedReader::cancelStatement() {
  const std::lock_guard<std::mutex> lock(connectionMutex_);
  if (connection_) connection_->cancelRunningStatement();
}

void UnpricedReader::joinThread() {
  recancel_.stop();
  if (thread_.joinable()) thread_.join();
}

void UnpricedReader::read() {
  try {
    const std::unique_ptr<PricingLibrary> pricing = pricing::MainFormDatiDll();
    MainFormDati& data = pricing->mainFormDati();
    data.PRECES_DB.setDatabaseName(connectionString_);
    data.connect();
    {
      const std::lock_guard<std::mutex> lock(connectionMutex_);
      connection_ = &data.PRECES_DB;
    }
    struct Forget {
      UnpricedReader& reader;
      ~Forget() {
        const std::lock_guard<std::mutex> lock(reader.connectionMutex_);
        reader.connection_ = nullptr;
      }
    } forget{*this};
    if (cancelled_) throw std::runtime_error(kCancelled);
    NoLog log;
    MemoryRegistryStore registry;
    ThreadSleeper sleeper;
    SessionState state;
    RunContext ctx{settings_, *pricing, log, registry, sleeper, state, nullptr};
    lines_ = listUnpricedLines(ctx, fifoCosting(ctx));
  } catch (const std::exception& failure) {
    error_ = failure.what();
  } catch (...) {
    error_ = kCancelled;
  }
  done_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        joinThread();
        emit finished();
      },
      Qt::QueuedConnection);
}

}  // namespace talvix::shell
