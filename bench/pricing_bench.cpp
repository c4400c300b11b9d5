// Calls per second of the FIFO price with its stock figures and of the weighted average on a
// generated database, and how one call grows with the length of a goods' history.
//   pricing_bench [--movements=N] [--keep_database] [benchmark flags]
// N defaults to PRICING_BENCH_MOVEMENTS or 120000.
#include "pricing/library.h"
#include "stock_history.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace talvix::bench {
namespace {

constexpr int kDefaultMovements = 120000;
const std::vector<int> kHistoryLengths = {10, 100, 1000, 10000};

struct World {
  std::string dir;
  StockHistory history;
  std::unique_ptr<PricingLibrary> library;
  std::unique_ptr<TVidSvPasizm> average;
  std::vector<PricedDay> sample;  // shuffled, so that no call finds the previous one's pages warm by design
};
World* world = nullptr;

// What the tool's FIFO step asks for one goods, department and day: the stock figures, then the price.
double fifoPrice(PricingLibrary& library, int goods, int dept, DateTime date) {
  const double stock = library.PrecValid(goods, dept, date) + library.ApgrozDaudzums(goods, dept, date);
  std::vector<std::string> list;
  return library.GetPasizmaksa(goods, dept, date, stock, 1, 3, list);
}

void BM_FifoPriceWithStockFigures(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    const PricedDay& p = world->sample[i++ % world->sample.size()];
    benchmark::DoNotOptimize(fifoPrice(*world->library, p.goods, p.dept, p.date));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_WeightedAverage(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    const PricedDay& p = world->sample[i++ % world->sample.size()];
    benchmark::DoNotOptimize(world->average->GetVidSvPasizmaksa(p.goods, p.dept, p.date, false, true));
  }
  state.SetItemsProcessed(state.iterations());
}

int goodsWithHistory(int length) {
  for (const auto& [n, goods] : world->history.lengthToGoods)
    if (n == length) return goods;
  return 0;
}

void BM_FifoPriceByHistoryLength(benchmark::State& state) {
  const int goods = goodsWithHistory(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(fifoPrice(*world->library, goods, 1, world->history.lastDay));
  state.SetItemsProcessed(state.iterations());
}

void BM_WeightedAverageByHistoryLength(benchmark::State& state) {
  const int goods = goodsWithHistory(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(world->average->GetVidSvPasizmaksa(goods, 1, world->history.lastDay, false, true));
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_FifoPriceWithStockFigures)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WeightedAverage)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FifoPriceByHistoryLength)
    ->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WeightedAverageByHistoryLength)
    ->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Takes our own flags out of argv before the benchmark library sees them.
void takeFlags(int& argc, char** argv, int& movements, bool& keep) {
  const char* env = std::getenv("PRICING_BENCH_MOVEMENTS");
  if (env && *env) movements = std::atoi(env);
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--movements=", 12) == 0) {
      movements = std::atoi(argv[i] + 12);
    } else if (std::strcmp(argv[i], "--keep_database") == 0) {
      keep = true;
    } else {
      argv[out++] = argv[i];
    }
  }
  argc = out;
}

std::string makeTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/pricing-bench-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory at " + pattern);
  return pattern;
}

}  // namespace
}  // namespace talvix::bench

int main(int argc, char** argv) {
  using namespace talvix::bench;
  int movements = kDefaultMovements;
  bool keep = false;
  takeFlags(argc, argv, movements, keep);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  World w;
  world = &w;
  w.dir = makeTempDir();
  const std::string path = w.dir + "/stock.fdb";
  const auto started = std::chrono::steady_clock::now();
  w.history = writeStockHistory(path, movements, kHistoryLengths, 20260301u);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr, "database: %d movements, %zu priced goods/department/days, written in %.1f s%s%s\n",
               w.history.movements, w.history.outflowDays.size(), seconds, keep ? ", kept at " : "",
               keep ? path.c_str() : "");

  w.sample = w.history.outflowDays;
  std::shuffle(w.sample.begin(), w.sample.end(), std::mt19937(7));
  w.library = talvix::pricing::MainFormDatiDll();
  w.library->mainFormDati().PRECES_DB.setDatabaseName(path);
  w.library->mainFormDati().connect();
  w.average = w.library->newVidSvPasizm();

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  w.average.reset();
  w.library.reset();
  if (!keep) std::filesystem::remove_all(w.dir);
  return 0;
}
