#pragma once
// What the live benchmarks share: a shop's copy made ready for a continuous run (its last month,
// FIFO, no blocked days), sales committed as the shop's own program would, and the CPU time and
// memory of processes read from /proc. Callers own their connections and processes.
#include "data/connection.h"
#include "data/date_time.h"
#include "support/firebird_server.h"

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvix::bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);
double median(std::vector<double> values);

// A private server whose directory, which receives the databases' copies, goes under dir.
std::unique_ptr<test::FirebirdServer> startServer(const std::string& dir, test::FirebirdServer::Mode mode);

Connection& open(Connection& c, const std::string& database);

struct Period {
  DateTime from = 0, to = 0;
  bool forcedWrites = false;  // as the master has them: every commit waits for the disk
};

// The last month of the history: from the 1st to the last day an issue is dated. Also makes the
// copy price by FIFO with no blocked days, whatever the master held.
Period preparePeriod(const std::string& database);

// Every kind on "Piešķirt tikai ar 0 pašizmaksu", no option set.
std::map<std::string, int> onlyWithoutCost();

// Goods a department has just received in quantity, not serial-numbered and not services: a sale of
// one unit on the period's last day finds stock, so its cost comes out above zero.
struct Sale {
  int goods = 0;
  int dept = 0;
  double price = 0;
  int line = 0;  // O_PRCOUT.ISN once committed
  Clock::time_point committed;
  std::optional<double> latency;
  double cost = 0;
};

// count different goods to sell; throws when the period has fewer.
std::vector<Sale> plannedSales(Connection& c, const Period& period, int count);

// Writes sales as the shop's own program would: a header and one line with cost 0, committed.
class SaleWriter {
 public:
  SaleWriter(Connection& c, DateTime date);
  void commit(Sale& sale);
  // The line's cost as committed now, read in a transaction of its own.
  double cost(const Sale& sale);

 private:
  Connection& c_;
  DateTime date_;
  int nextKey_ = 0;
};

// utime + stime of a process, in seconds; with its ended children's (cutime + cstime) when asked.
double cpuSeconds(pid_t pid, bool children = false);
// The server's processes: itself and, in Classic mode, one child per attachment. The ended
// children's time is counted in the server's own once it has reaped them.
double serverCpuSeconds(pid_t server);
// VmRSS of a process, in bytes (0 when it is gone).
long long residentBytes(pid_t pid);

}  // namespace talvix::bench
