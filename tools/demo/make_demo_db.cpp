// make-demo-db: creates a stock database filled with a reproducible demo history and, on request,
// lists it in the registry's database list so the tool opens it.
#include "data/date_time.h"
#include "registry/registry_store.h"
#include "step/run_settings.h"
#include "shell/settings_store.h"
#include "tools/demo/demo_history.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: make-demo-db --out PATH [--goods N] [--departments N] [--days N] [--lines N] [--seed N]\n"
    "                    [--method fifo|average] [--keep] [--register NAME]\n"
    "       make-demo-db --help\n"
    "  --keep           leave an existing database as it is\n"
    "  --register NAME  list the database as NAME in the registry and make it the one the tool opens\n";

// Lists the database, makes it the one the tool opens, and gives the tool settings that price every
// kind's lines without cost in the current month, unless the user already has settings.
void registerDatabase(const std::string& name, const std::string& path) {
  using namespace talvix::shell;
  talvix::RegFileStore store(talvix::defaultRegistryPath());
  try {
    talvix::shell::registerDatabase(store, name, path);
  } catch (const talvix::RegistryError& error) {
    throw std::runtime_error(store.filePath() + ": " + error.what());
  }
  if (!store.openForRead(kSettingsKey)) {
    talvix::RunSettings settings;
    const talvix::DateTime today = talvix::todayLocal();
    int year, month, day;
    talvix::decodeDate(today, year, month, day);
    settings.dateFrom = talvix::makeDate(year, month, 1);
    settings.dateTo = today;
    settings.transfers = settings.issues = settings.returns = settings.balances = talvix::kOnlyWithoutCost;
    saveSettings(store, settings);
  }
  std::printf("Registered %s as \"%s\" in %s\n", path.c_str(), name.c_str(), store.filePath().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  talvix::demo::HistoryShape shape;
  std::string out, registerAs;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n%s", arg.c_str(), kUsage);
        std::exit(2);
      }
      return argv[++i];
    };
    try {
      if (arg == "--help" || arg == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
      }
      if (arg == "--out") out = next();
      else if (arg == "--goods") shape.goods = std::stoi(next());
      else if (arg == "--departments") shape.departments = std::stoi(next());
      else if (arg == "--days") shape.days = std::stoi(next());
      else if (arg == "--lines") shape.lines = std::stol(next());
      else if (arg == "--seed") shape.seed = std::stoull(next());
      else if (arg == "--method") shape.fifoMethod = next() == "average" ? 0 : 1;
      else if (arg == "--keep") keep = true;
      else if (arg == "--register") registerAs = next();
      else {
        std::fprintf(stderr, "unknown argument %s\n%s", arg.c_str(), kUsage);
        return 2;
      }
    } catch (const std::exception&) {
      std::fprintf(stderr, "%s takes a number\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (out.empty() || shape.goods < 1 || shape.departments < 1 || shape.days < 1 || shape.departments > 999) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    if (keep && std::filesystem::exists(out)) {
      std::printf("Keeping %s\n", out.c_str());
    } else {
      if (std::filesystem::exists(out)) {
        std::fprintf(stderr, "%s exists; remove it first or pass --keep\n", out.c_str());
        return 2;
      }
      // A bare file name has no folder to make.
      const std::filesystem::path folder = std::filesystem::path(out).parent_path();
      if (!folder.empty()) std::filesystem::create_directories(folder);
      const auto counts = talvix::demo::makeDemoDatabase(out, shape);
      std::printf("Made %s: %ld lines (%ld receipts, %ld transfers, %ld issues, %ld returns, %ld goods-balance)\n",
                  out.c_str(), counts.total(), counts.receipts, counts.transfers, counts.issues, counts.returns,
                  counts.balances);
    }
    if (!registerAs.empty()) registerDatabase(registerAs, std::filesystem::absolute(out).string());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make-demo-db: %s\n", error.what());
    return 1;
  }
  return 0;
}
