#include "bench/live/live_shop.h"

#include "data/document_tables.h"
#include "data/query.h"
#include "shell/settings_store.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace talvix::bench {
namespace {

constexpr double kTax = 21.0;

constexpr char kStockedGoodsSql[] =
    "SELECT L.ISPRECE, H.ISNODALA, G.CENA1 FROM O_PAVADZ H JOIN O_PRECE L ON L.ISPAVADZ = H.ISN "
    "JOIN N_KLPREC G ON G.ISN = L.ISPRECE WHERE H.DAT_SANEM BETWEEN :DAT_NO AND :DAT_LIDZ AND "
    "L.ISSERTIF IS NULL AND L.DAUDZUMS >= 20 AND (G.PAKALPOJ IS NULL OR G.PAKALPOJ = 'F') "
    "ORDER BY H.DAT_SANEM DESC, L.ISN DESC";

// The parent of a process, or 0 when it is gone.
pid_t parentOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t name = text.rfind(')');
  if (name == std::string::npos) return 0;
  std::istringstream fields(text.substr(name + 2));
  std::string state;
  pid_t parent = 0;
  fields >> state >> parent;
  return parent;
}

// Sets an environment variable for as long as it lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

std::unique_ptr<test::FirebirdServer> startServer(const std::string& dir, test::FirebirdServer::Mode mode) {
  const ScopedEnvironment temp("TMPDIR", dir);
  return std::make_unique<test::FirebirdServer>(mode);
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

Connection& open(Connection& c, const std::string& database) {
  c.setDatabaseName(database);
  c.open();
  return c;
}

Period preparePeriod(const std::string& database) {
  Connection c;
  open(c, database);
  c.executeImmediate("DELETE FROM N_BLOKDIENAS");
  c.executeImmediate("UPDATE N_ISI SET ISIFIFO = 1");
  c.defaultTransaction().commit();
  Query q(c);
  q.setSql(
      "SELECT MAX(DATUMS), (SELECT COUNT(*) FROM N_ISI WHERE ISIFIFO = 1), "
      "(SELECT MON$FORCED_WRITES FROM MON$DATABASE) FROM O_PAVOUT");
  q.open();
  if (q.isNull(0) || q.asInteger(1) != 1)
    throw std::runtime_error(database + " is no demo stock database: it needs issues and one N_ISI row");
  Period p;
  p.to = wholeDate(q.asDateTime(0));
  p.forcedWrites = q.asInteger(2) != 0;
  int year, month, day;
  decodeDate(p.to, year, month, day);
  p.from = makeDate(year, month, 1);
  return p;
}

std::map<std::string, int> onlyWithoutCost() {
  std::map<std::string, int> settings;
  for (const DocumentKindRow& row : kDocumentKinds) settings[row.names.setting] = kOnlyWithoutCost;
  for (const char* option : {shell::kPedejaCena, shell::kParvIzrakst1PardCena, shell::kPakalpojumusNe, shell::kIMEI})
    settings[option] = 0;
  return settings;
}

std::vector<Sale> plannedSales(Connection& c, const Period& period, int count) {
  Query q(c);
  q.setSql(kStockedGoodsSql);
  q.setDateTime("DAT_NO", period.from);
  q.setDateTime("DAT_LIDZ", period.to);
  q.open();
  std::vector<Sale> sales;
  for (q.first(); !q.eof() && static_cast<int>(sales.size()) < count; q.next()) {
    const int goods = q.asInteger(0);
    if (std::any_of(sales.begin(), sales.end(), [&](const Sale& s) { return s.goods == goods; })) continue;
    Sale sale;
    sale.goods = goods;
    sale.dept = q.asInteger(1);
    sale.price = std::max(0.01, q.asDouble(2) / (1 + kTax / 100));
    sales.push_back(sale);
  }
  c.defaultTransaction().commit();
  if (static_cast<int>(sales.size()) < count)
    throw std::runtime_error("the period holds receipts of only " + std::to_string(sales.size()) +
                             " goods to sell; --sales asks for " + std::to_string(count));
  return sales;
}

SaleWriter::SaleWriter(Connection& c, DateTime date) : c_(c), date_(date) {
  Query q(c_);
  q.setSql("SELECT (SELECT MAX(ISN) FROM O_PAVOUT), (SELECT MAX(ISN) FROM O_PRCOUT) FROM RDB$DATABASE");
  q.open();
  nextKey_ = std::max(q.asInteger(0), q.asInteger(1)) + 1;
  c_.defaultTransaction().commit();
}

void SaleWriter::commit(Sale& sale) {
  const DocumentTables& t = tablesOf(DocumentKind::Issue);
  const int doc = nextKey_++;
  Query header(c_);
  header.setSql(std::string("INSERT INTO ") + t.header + " (ISN, " + t.date + ", " + t.dept + ", " + t.client +
                ") VALUES (:ISN, :DATUMS, :DEPT, NULL)");
  header.setInteger("ISN", doc);
  header.setDateTime("DATUMS", date_);
  header.setInteger("DEPT", sale.dept);
  header.execSql();
  sale.line = nextKey_++;
  Query line(c_);
  line.setSql(std::string("INSERT INTO ") + t.lines + " (ISN, " + t.headerKey + ", ISPRECE, DAUDZUMS, " + t.cost +
              ", " + t.salePrice + ", " + t.markup + ", " + t.tax +
              ", ISSERTIF) VALUES (:ISN, :DOC, :GOODS, 1, 0, :PRICE, 0, :TAX, NULL)");
  line.setInteger("ISN", sale.line);
  line.setInteger("DOC", doc);
  line.setInteger("GOODS", sale.goods);
  line.setDouble("PRICE", sale.price);
  line.setDouble("TAX", kTax);
  line.execSql();
  c_.defaultTransaction().commit();
  sale.committed = Clock::now();
}

double SaleWriter::cost(const Sale& sale) {
  Query q(c_);
  q.setSql(std::string("SELECT ") + tablesOf(DocumentKind::Issue).cost + " FROM " +
           tablesOf(DocumentKind::Issue).lines + " WHERE ISN = :ISN");
  q.setInteger("ISN", sale.line);
  q.open();
  const double value = q.eof() ? 0.0 : q.asDouble(0);
  c_.defaultTransaction().commit();
  return value;
}

double cpuSeconds(pid_t pid, bool children) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t name = text.rfind(')');  // the command name may hold blanks and parentheses
  if (name == std::string::npos) throw std::runtime_error("cannot read /proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(text.substr(name + 2));
  std::string field;
  // Fields 3 to 13 come before utime (14) and stime (15).
  for (int i = 3; i <= 13; ++i) fields >> field;
  unsigned long long user = 0, system = 0, childUser = 0, childSystem = 0;
  if (!(fields >> user >> system >> childUser >> childSystem))
    throw std::runtime_error("cannot read /proc/" + std::to_string(pid) + "/stat");
  const unsigned long long ticks = user + system + (children ? childUser + childSystem : 0);
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double serverCpuSeconds(pid_t server) {
  double seconds = cpuSeconds(server, true);
  DIR* proc = opendir("/proc");
  if (!proc) return seconds;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0 || parentOf(pid) != server) continue;
    try {
      seconds += cpuSeconds(pid);
    } catch (const std::runtime_error&) {
      // ended meanwhile: its time went to the server's count of ended children
    }
  }
  closedir(proc);
  return seconds;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long long residentBytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  return 0;
}

}  // namespace talvix::bench
