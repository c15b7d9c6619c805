// Speed of the text search on a large synthetic log (warm page cache), next
// to `LC_ALL=C grep -F -c` on the same file in the same run.
//
//   KEST_SEARCH_BENCH_BYTES=1073741824 build-bench/bench/search_bench
//
// The log is written to the temporary folder once and removed at the end.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "LogGenerator.h"
#include "log/Logunit1.h"
#include "log/TitleLines.h"
#include "platform/Codec.h"
#include "search/SearchEngine.h"

namespace {

std::int64_t TargetBytes() {
  const char* env = std::getenv("KEST_SEARCH_BENCH_BYTES");
  return env ? std::atoll(env) : 100LL * 1000 * 1000;
}

const kest::bench::GeneratedLog& Log() {
  static const kest::bench::GeneratedLog log = kest::bench::MakeLog(TargetBytes(), 7);
  return log;
}

// One index per order, scanned once.
kest::TLogCtrl& Index(kest::SortOrder order) {
  const int sortType = static_cast<int>(order);
  static kest::TLogCtrl indexes[3];
  static bool scanned[3] = {};
  if (!scanned[sortType]) {
    kest::ScanLog(Log().path, indexes[sortType]);
    kest::ArrangeIndex(indexes[sortType], order);
    scanned[sortType] = true;
  }
  return indexes[sortType];
}

const char* OrderName(kest::SortOrder sortType) {
  return sortType == kest::SortOrder::Remark ? "remark" : sortType == kest::SortOrder::ContentFull ? "content1" : "content2";
}

// What `kest32 --grep` does after the scan: every remark tested, list order.
void BM_GrepNoMatch(benchmark::State& state) {
  const auto order = static_cast<kest::SortOrder>(state.range(0));
  kest::TLogCtrl& index = Index(order);
  const std::string key = kest::Utf8ToSjis("存在しない言葉");
  for (auto _ : state) {
    kest::SearchEngine engine(Log().path, index, key, state.range(1) != 0);
    benchmark::DoNotOptimize(engine.MatchAll());
  }
  state.SetLabel(std::string(OrderName(order)) + (state.range(1) ? " ignore-case" : ""));
  state.SetBytesProcessed(state.iterations() * Log().bytes);
}
BENCHMARK(BM_GrepNoMatch)
    ->ArgsProduct({{0, 2, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The window's search from the first line that finds nothing.
void BM_FindFirstNoMatch(benchmark::State& state) {
  const auto order = static_cast<kest::SortOrder>(state.range(0));
  kest::TLogCtrl& index = Index(order);
  const std::string key = "NOWHERE";
  for (auto _ : state) {
    kest::SearchEngine engine(Log().path, index, key, true);
    benchmark::DoNotOptimize(engine.FindFirst(kest::IndexPos(1), 1));
  }
  state.SetLabel(OrderName(order));
}
BENCHMARK(BM_FindFirstNoMatch)
    ->Arg(0)->Arg(2)->Arg(1)
    ->Unit(benchmark::kMillisecond);

// A key in many remarks: every hit is walked line by line.
void BM_GrepFrequentKey(benchmark::State& state) {
  kest::TLogCtrl& index = Index(kest::SortOrder::Remark);
  const std::string key = "PENTIUM";
  for (auto _ : state) {
    kest::SearchEngine engine(Log().path, index, key, true);
    benchmark::DoNotOptimize(engine.MatchAll());
  }
}
BENCHMARK(BM_GrepFrequentKey)->Unit(benchmark::kMillisecond);

// The yardstick: grep over the same bytes. Its processor time (user + system
// of the child) is reported as the manual time, beside the wall time.
void BM_GrepFixedString(benchmark::State& state) {
  const std::string command = "LC_ALL=C grep -F -c 'NOWHERE-AT-ALL' '" + Log().path.string() + "' >/dev/null";
  double wall = 0;
  for (auto _ : state) {
    rusage before {}, after {};
    getrusage(RUSAGE_CHILDREN, &before);
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) < 0) state.SkipWithError("grep did not run");
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    getrusage(RUSAGE_CHILDREN, &after);
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    state.SetIterationTime(secs(after.ru_utime) - secs(before.ru_utime) + secs(after.ru_stime) -
                           secs(before.ru_stime));
  }
  state.counters["wall_ms"] = benchmark::Counter(wall * 1000 / static_cast<double>(state.iterations()));
  state.SetBytesProcessed(state.iterations() * Log().bytes);
}
BENCHMARK(BM_GrepFixedString)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Log();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove(Log().path, ec);
  return 0;
}
