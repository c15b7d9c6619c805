// Micro-benchmarks of the log core on large synthetic logs (warm page cache).
#include <benchmark/benchmark.h>

#include <vector>

#include "LogGenerator.h"
#include "log/Logunit1.h"
#include "log/TitleLines.h"
#include "platform/Codec.h"

namespace {

constexpr std::int64_t k100MB = 100LL * 1000 * 1000;

const kest::bench::GeneratedLog& Log100MB() {
  static const kest::bench::GeneratedLog log = kest::bench::MakeLog(k100MB);
  return log;
}

void BM_Scan100MB(benchmark::State& state) {
  const auto& log = Log100MB();
  std::size_t memory = 0;
  for (auto _ : state) {
    kest::TLogCtrl index;
    kest::ScanLog(log.path, index, [](int) {});
    benchmark::DoNotOptimize(index.Count());
    memory = index.MemoryUsed();
  }
  state.SetBytesProcessed(state.iterations() * log.bytes);
  state.counters["remarks"] = log.remarks;
  state.counters["index_bytes_per_remark"] = static_cast<double>(memory) / log.remarks;
}
BENCHMARK(BM_Scan100MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_BuildThreads100k(benchmark::State& state) {
  static const auto log = kest::bench::MakeLog(50LL * 1000 * 1000, 2);  // about 100,000 remarks
  for (auto _ : state) {
    state.PauseTiming();
    auto index = std::make_unique<kest::TLogCtrl>();
    kest::ScanLog(log.path, *index);
    state.ResumeTiming();
    index->BuildThreads();
    benchmark::DoNotOptimize(index->GetLevel(kest::IndexPos(0)));
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
  state.counters["remarks"] = log.remarks;
}
BENCHMARK(BM_BuildThreads100k)->Unit(benchmark::kMillisecond);

void BM_SortByNumber100MB(benchmark::State& state) {
  const auto& log = Log100MB();
  for (auto _ : state) {
    state.PauseTiming();
    auto index = std::make_unique<kest::TLogCtrl>();
    kest::ScanLog(log.path, *index);
    index->BuildThreads();  // content order first, as after a load in the default order
    state.ResumeTiming();
    index->SortByNumber();
    state.PauseTiming();
    index.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SortByNumber100MB)->Unit(benchmark::kMillisecond);

void BM_RemarkTestWholeLog100MB(benchmark::State& state) {
  const auto& log = Log100MB();
  kest::TLogCtrl index;
  kest::ScanLog(log.path, index);
  const std::string key = kest::Utf8ToSjis("存在しない言葉");
  for (auto _ : state) {
    kest::LineReader reader(log.path);
    int found = 0;
    for (std::int32_t i = 0; i < index.Count(); ++i) {
      found += kest::RemarkMatches(reader, index.GetItem(kest::IndexPos(i)), key, true);
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(state.iterations() * log.bytes);
}
BENCHMARK(BM_RemarkTestWholeLog100MB)->Unit(benchmark::kMillisecond);

void BM_ListContent1_100MB(benchmark::State& state) {
  // What `kest32 --list --sort=content1` does: scan, thread, every line as UTF-8.
  const auto& log = Log100MB();
  for (auto _ : state) {
    kest::TLogCtrl index;
    kest::ScanLog(log.path, index);
    kest::ArrangeIndex(index, kest::SortOrder::ContentFull);
    std::size_t bytes = 0;
    const kest::ColumnSwitches cols;
    for (std::int32_t i = 0; i < index.Count(); ++i) {
      bytes += kest::SjisToUtf8(kest::ListLineText(index, kest::IndexPos(i), kest::SortOrder::ContentFull, cols)).size();
    }
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_ListContent1_100MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
