// The scale report: builds large logs in the temporary folder (a realistic
// 100 MB and 1 GB log, a fan of 1,000,000 replies to one remark, a chain
// 100,000 deep), measures on each, in the same run and on the same file, our
// scan against `wc -l`, the miss search against `LC_ALL=C grep -F -c`, the
// searches with many hits against both, the orderings, the peak memory per
// remark of the batch side, the repeated 次へ検索, the export of the whole log
// to text and HTML and the window's open time to the first remark
// (offscreen), then removes the logs.
//
//   kest_bench [--quick] [--huge] [--keep]
//     --quick  only the 100 MB log and smaller shapes
//     --huge   also a log over 2 GiB, opened in the window to its last remark
//     --keep   leave the generated logs in place
//     --no-search  skip the searches
//     --file PATH  report on this log instead of generating any (repeatable)
//     --window-only  with --file: only the window's open time and memory
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "LogGenerator.h"
#include "log/Logunit1.h"
#include "log/TitleLines.h"
#include "platform/Codec.h"
#include "search/SearchEngine.h"

#ifdef KEST_BENCH_WINDOW
#include <QApplication>
#include <QElapsedTimer>

#include "platform/Interaction.h"
#include "app/MainWindow.h"
#include "ui/Kest2.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// CPU time (user and system) of this process, in ms: the machine may be
// shared, and wall time would measure the neighbours.
double CpuMs(int who = RUSAGE_SELF) {
  struct rusage ru {};
  getrusage(who, &ru);
  return (static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
          static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3);
}

double TimeMs(const std::function<void()>& f) {
  const double t0 = CpuMs();
  f();
  return CpuMs() - t0;
}

struct RunResult {
  double ms = 0;  // CPU time
  double wallMs = 0;
  long maxRssKb = 0;
  int status = -1;
};

// Runs a program with its output to `out` (/dev/null unless a file is
// wanted: GNU grep stops at its first hit when its output is /dev/null);
// wall time and peak memory.
RunResult Run(const std::vector<std::string>& argv, bool cLocale = false,
              const std::string& out = "/dev/null") {
  RunResult r;
  auto t0 = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    FILE* sink = std::fopen(out.c_str(), "w");
    if (sink) dup2(fileno(sink), 1);
    if (cLocale) setenv("LC_ALL", "C", 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  r.wallMs = Ms(t0, Clock::now());
  r.ms = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
  r.maxRssKb = ru.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

RunResult Best(int times, const std::vector<std::string>& argv, bool cLocale = false) {
  RunResult best;
  best.ms = 1e300;
  for (int i = 0; i < times; ++i) {
    RunResult r = Run(argv, cLocale);
    if (r.ms < best.ms) best = r;
  }
  return best;
}

// The fastest and slowest wall time of a few runs with the output to a file.
struct WallRange {
  double best = 1e300, worst = 0;
  double cpuOfBest = 0;
};
WallRange Walls(int times, const std::vector<std::string>& argv, bool cLocale, const std::string& out) {
  WallRange w;
  for (int i = 0; i < times; ++i) {
    const RunResult r = Run(argv, cLocale, out);
    if (r.wallMs < w.best) {
      w.best = r.wallMs;
      w.cpuOfBest = r.ms;
    }
    w.worst = std::max(w.worst, r.wallMs);
  }
  return w;
}

std::size_t LinesIn(const std::string& path) {
  std::size_t lines = 0;
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    for (int c; (c = std::fgetc(f)) != EOF;) lines += c == '\n';
    std::fclose(f);
  }
  return lines;
}

// The window's 次へ検索 (or 前へ検索) repeated on a key, as the core does it:
// a new search from the line after the match before, by SearchEngine in
// remark order and content order (1), by TLogCtrl::FindTextForward (or
// Backward) in content order (2). The slowest and the middle step.
struct Steps {
  double worst = 0, median = 0;
  int taken = 0;
};
Steps RepeatedFind(const fs::path& path, kest::SortOrder order, const std::string& key, int step, int count) {
  kest::TLogCtrl index;
  kest::ScanLog(path, index);
  kest::ArrangeIndex(index, order);
  std::vector<double> ms;
  std::int32_t at = step > 0 ? -1 : index.Count();
  for (int i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    if (order == kest::SortOrder::ContentFolded) {
      const kest::ChainList chain = step > 0 ? index.FindTextForward(kest::IndexPos(at), key, path, false)
                                             : index.FindTextBackward(kest::IndexPos(at), key, path, false);
      at = chain.empty() ? -1 : at + step;  // the key is in every remark: the next one
    } else {
      kest::SearchEngine engine(path, index, key, false);
      at = engine.FindFirst(kest::IndexPos(at + step), step).v;
    }
    ms.push_back(Ms(t0, Clock::now()));
    if (at < 0) break;
  }
  Steps s;
  s.taken = static_cast<int>(ms.size());
  if (ms.empty()) return s;
  std::sort(ms.begin(), ms.end());
  s.worst = ms.back();
  s.median = ms[ms.size() / 2];
  return s;
}

// The searches with many hits: `kest32 --grep （笑）` in remark order and
// content order (1) and `kest32 --index --sort=content1`, their output to a
// file, beside `wc -l` and `grep -F -c` on the same file in the same run;
// then the repeated 次へ検索 on a key in every remark.
void ManyHits(const std::string& kest32, const fs::path& log) {
  const std::string file = log.string();
  const std::string out =
      (fs::temp_directory_path() / ("kest-bench-out-" + std::to_string(getpid()))).string();
  const std::string laugh = kest::Utf8ToSjis("（笑）");
  const int times = 3;
  const WallRange wc = Walls(times, {"wc", "-l", file}, true, out);
  const WallRange grep = Walls(times, {"grep", "-F", "-c", laugh, file}, true, out);
  const double target = 2 * (wc.best + grep.best);
  std::printf("  searches with many hits, wall time (best - worst of %d), output to a file:\n", times);
  std::printf(
      "    wc -l %.0f - %.0f ms, LC_ALL=C grep -F -c （笑） %.0f - %.0f ms: 2 x (wc + grep) = %.0f ms\n",
      wc.best, wc.worst, grep.best, grep.worst, target);
  for (const char* sort : {"--sort=remark", "--sort=content1"}) {
    const WallRange g = Walls(times, {kest32, "--grep", laugh, sort, file}, false, out);
    std::printf(
        "    kest32 --grep （笑） %-15s %6.0f - %.0f ms (CPU %.0f ms), %.2f of 2 x (wc + grep); %zu "
        "remarks\n",
        sort, g.best, g.worst, g.cpuOfBest, g.best / target, LinesIn(out));
  }
  const WallRange idx = Walls(times, {kest32, "--index", "--sort=content1", file}, false, out);
  std::printf("    kest32 --index --sort=content1 %6.0f - %.0f ms (CPU %.0f ms)\n", idx.best, idx.worst,
              idx.cpuOfBest);
  std::remove(out.c_str());

  // The date is on the first line of every remark's text.
  const std::string everywhere = "96/";
  for (const kest::SortOrder order :
       {kest::SortOrder::Remark, kest::SortOrder::ContentFull, kest::SortOrder::ContentFolded}) {
    const char* name = order == kest::SortOrder::Remark        ? "remark"
                       : order == kest::SortOrder::ContentFull ? "content1"
                                                               : "content2";
    const Steps next = RepeatedFind(log, order, everywhere, +1, 200);
    const Steps prev = RepeatedFind(log, order, everywhere, -1, 200);
    std::printf(
        "    次へ検索 on a key in every remark, %-8s %d steps: slowest %.2f ms, middle %.2f ms; 前へ検索 "
        "%.2f / %.2f ms\n",
        name, next.taken, next.worst, next.median, prev.worst, prev.median);
  }
}

struct ScanTimes {
  double cpu = 1e300, wall = 1e300;  // the best of the runs, each
};

ScanTimes BestScan(const fs::path& path, int times, std::int32_t* count, std::size_t* memory) {
  ScanTimes best;
  for (int i = 0; i < times; ++i) {
    kest::TLogCtrl index;
    const auto t0 = Clock::now();
    const double ms = TimeMs([&] { kest::ScanLog(path, index, [](int) {}); });
    best.wall = std::min(best.wall, Ms(t0, Clock::now()));
    best.cpu = std::min(best.cpu, ms);
    *count = index.Count();
    *memory = index.MemoryUsed();
  }
  return best;
}

double OrderMs(const fs::path& path, kest::SortOrder sortType) {
  kest::TLogCtrl index;
  kest::ScanLog(path, index);
  return TimeMs([&] { kest::ArrangeIndex(index, sortType); });
}

// A line of /proc/PID/status in MB (VmRSS: resident now, VmHWM: its peak),
// of this process unless another is named.
[[maybe_unused]] double StatusMb(const char* key, const std::string& pid = "self") {
  const std::string name = "/proc/" + pid + "/status";
  FILE* f = std::fopen(name.c_str(), "r");
  if (!f) return 0;
  char line[256];
  double kb = 0;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atof(line + std::strlen(key) + 1);
  }
  std::fclose(f);
  return kb / 1024.0;
}

#ifdef KEST_BENCH_WINDOW
// Dialogs would block the measurement: report them on stderr instead.
class QuietUi : public kest::Interaction {
 public:
  void Info(QWidget*, const QString& t) override { std::fprintf(stderr, "info: %s\n", qPrintable(t)); }
  bool Confirm(QWidget*, const QString&) override { return true; }
  void Error(QWidget*, const QString& t) override { std::fprintf(stderr, "error: %s\n", qPrintable(t)); }
  std::optional<QString> Input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  std::optional<QString> OpenFileName(QWidget*, const QString&, const QString&, const QStringList&) override {
    return {};
  }
  std::optional<QFont> ChooseFont(QWidget*, const QFont&) override { return {}; }
  void Beep() override {}
  void BeginWait() override {}
  void EndWait() override {}
};

// Time from LoadLog to the caption and remark 0 in the pane, then painted.
void WindowOpen(const fs::path& path, std::int32_t remarks, bool showLast) {
  const std::unique_ptr<kest::TKestForm> window = kest::CreateMainWindow();
  kest::TKestForm& form = *window;
  form.show();
  QApplication::processEvents();
  const double rss0 = StatusMb("VmRSS");
  QElapsedTimer t;
  t.start();
  const double cpu0 = CpuMs();
  const bool ok = form.LoadLog(QString::fromStdString(path.string()));
  const double loaded = CpuMs() - cpu0;
  const double loadedWall = static_cast<double>(t.nsecsElapsed()) / 1e6;
  QApplication::processEvents();
  const double painted = CpuMs() - cpu0;
  std::printf("  window open (offscreen)  %8.0f ms to the first remark (wall %.0f ms), %8.0f ms painted%s\n", loaded,
              loadedWall, painted, ok ? "" : "  (NOT OPENED)");
  const double rss = StatusMb("VmRSS");
  std::printf("  window memory            %8.1f MB resident with the log open (%.1f MB more than before it)\n", rss,
              rss - rss0);
  if (showLast && ok && form.Session().Log()) {
    const auto last = kest::IndexPos(form.Session().Log()->Count() - 1);
    kest::RemarkText text = kest::LoadRemarkText(path, *form.Session().Log(), last);
    std::printf("  last remark (%d of %d)  number %d, %zu lines, %s\n", last.v + 1, form.Session().Log()->Count(),
                form.Session().Log()->GetNumber(last).v, text.lines.size(), text.truncated ? "cut short" : "whole");
  }
}
#endif

// The window as a user starts it, timed from outside: from before the fork
// to the line the program writes to KEST_READY_FD once its window is shown
// with the caption and the first remark painted (offscreen unless a display
// is set). Its resident memory is read from /proc then, and it is killed.
struct WindowStart {
  double wallMs = -1;  // -1: the window never said it was up
  double rssMb = 0;
};

WindowStart StartWindow(const std::string& kest32, const std::string& log) {
  WindowStart w;
  int fds[2];
  if (pipe(fds) != 0) return w;
  const fs::path ini = fs::temp_directory_path() / ("kest-bench-start-" + std::to_string(getpid()) + ".INI");
  auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (fds[1] != 3) {
      dup2(fds[1], 3);
      close(fds[1]);
    }
    setenv("KEST_READY_FD", "3", 1);
    setenv("KEST_INI", ini.c_str(), 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    execl(kest32.c_str(), kest32.c_str(), log.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  pollfd p{fds[0], POLLIN, 0};
  char buf[16];
  if (poll(&p, 1, 120'000) == 1 && read(fds[0], buf, sizeof buf) > 0) {
    w.wallMs = Ms(t0, Clock::now());
    w.rssMb = StatusMb("VmRSS", std::to_string(pid));
  }
  close(fds[0]);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  std::error_code ec;
  fs::remove(ini, ec);
  return w;
}

// The best and worst of a few starts, and the memory of the best.
void WindowStarts(const std::string& kest32, const std::string& log, const char* what) {
  if (kest32.empty()) return;
  double best = 1e300, worst = 0, rss = 0;
  for (int i = 0; i < 3; ++i) {
    const WindowStart w = StartWindow(kest32, log);
    if (w.wallMs < 0) {
      std::printf("  window start %-11s never came up\n", what);
      return;
    }
    if (w.wallMs < best) {
      best = w.wallMs;
      rss = w.rssMb;
    }
    worst = std::max(worst, w.wallMs);
  }
  std::printf("  window start %-11s %6.0f-%.0f ms from exec to the caption and first remark painted (%s),"
              " %6.1f MB resident\n",
              what, best, worst, std::getenv("DISPLAY") ? "on the display" : "offscreen", rss);
}

struct Options {
  bool quick = false, huge = false, keep = false, search = true, windowOnly = false;
  std::string kest32;
  std::vector<std::string> files;
};

void Report(const Options& o, const char* name, const kest::bench::GeneratedLog& log, bool searches,
            bool window) {
  const std::string file = log.path.string();
  std::printf("\n%s: %.1f MB, %d remarks\n", name, static_cast<double>(log.bytes) / 1e6, log.remarks);
  Run({"cat", file});  // warm the page cache
  std::int32_t count = 0;
  std::size_t memory = 0;
  const int times = 3;
  const ScanTimes scan = BestScan(log.path, times, &count, &memory);
  RunResult wc = Best(times, {"wc", "-l", file});
  double wcWall = wc.wallMs;
  for (int i = 1; i < times; ++i) wcWall = std::min(wcWall, Run({"wc", "-l", file}).wallMs);
  const double mbs = static_cast<double>(log.bytes) / 1e6;
  // Throughput in elapsed time (the scan reads ahead on a second thread),
  // and the CPU time of all its threads beside.
  std::printf("  scan                     %8.0f ms  %6.0f MB/s   wc -l %6.0f ms  %6.0f MB/s   ratio %.2f\n", scan.wall,
              mbs / scan.wall * 1e3, wcWall, mbs / wcWall * 1e3, wcWall / scan.wall);
  std::printf("  scan CPU time            %8.0f ms                 wc -l %6.0f ms                ratio %.2f\n", scan.cpu,
              wc.ms, wc.ms / scan.cpu);
  std::printf("  orderings                remark %6.0f ms   content %6.0f ms\n", OrderMs(log.path, kest::SortOrder::Remark),
              OrderMs(log.path, kest::SortOrder::ContentFull));
  std::printf("  index memory             %8.1f B/remark\n", static_cast<double>(memory) / std::max(count, 1));
  if (!o.kest32.empty()) {
    for (const char* sort : {"--sort=remark", "--sort=content1"}) {
      RunResult idx = Best(2, {o.kest32, "--index", sort, file});
      std::printf("  kest32 --index %-15s %6.0f ms (wall %.0f)   peak RSS %6.1f MB  %6.1f B/remark\n", sort, idx.ms,
                  idx.wallMs,
                  static_cast<double>(idx.maxRssKb) / 1024.0,
                  static_cast<double>(idx.maxRssKb) * 1024.0 / std::max(count, 1));
    }
  }
  if (searches && o.search && !o.kest32.empty()) {
    // The miss search: a key that occurs nowhere, so every remark is read.
    // Timed through the batch side's --grep, whichever search engine it uses.
    const std::string key = "\x91\xB6\x8D\xDD\x82\xB5\x82\xC8\x82\xA2";  // 存在しない (Shift-JIS)
    const RunResult grep = Best(2, {"grep", "-F", "-c", key, file}, true);
    for (const char* sort : {"--sort=remark", "--sort=content1"}) {
      const RunResult ours = Best(1, {o.kest32, "--grep", key, sort, file});
      std::printf("  miss search %-15s %8.0f ms  grep -F -c %6.0f ms   ratio %.2f\n", sort, ours.ms, grep.ms,
                  grep.ms / ours.ms);
    }
  }
  if (searches && o.search && !o.kest32.empty()) ManyHits(o.kest32, log.path);
  if (searches && !o.kest32.empty()) {
    // The whole log exported as a user would, into a file beside the others
    // (written, synced to the disk and renamed), each the best of two.
    const std::string out = (fs::temp_directory_path() / "kest-bench-export.out").string();
    for (const char* format : {"--export=text", "--export=html"}) {
      const RunResult r = Best(2, {o.kest32, format, "--sort=content1", "-o", out, file});
      std::error_code ec;
      const double mb = static_cast<double>(fs::file_size(out, ec)) / 1e6;
      std::printf("  kest32 %-14s %8.0f ms (wall %.0f)   peak RSS %6.1f MB   %.0f MB written%s\n", format, r.ms,
                  r.wallMs, static_cast<double>(r.maxRssKb) / 1024.0, mb, r.status == 0 ? "" : "  (FAILED)");
      fs::remove(out, ec);
    }
  }
#ifdef KEST_BENCH_WINDOW
  if (window) WindowOpen(log.path, log.remarks, o.huge && log.bytes > (2LL << 30));
#endif
  if (window) {
    WindowStarts(o.kest32, file, "(this log)");
    WindowStarts(o.kest32, KEST_SAMPLE_LOG, "(sample)");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--quick") o.quick = true;
    else if (a == "--huge") o.huge = true;
    else if (a == "--keep") o.keep = true;
    else if (a == "--no-search") o.search = false;
    else if (a == "--window-only") o.windowOnly = true;
    else if (a == "--file" && i + 1 < argc) o.files.push_back(argv[++i]);
  }
#ifdef KEST32_BINARY
  if (fs::exists(KEST32_BINARY)) o.kest32 = KEST32_BINARY;
#endif
#ifdef KEST_BENCH_WINDOW
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const fs::path ini = fs::temp_directory_path() / ("kest-bench-" + std::to_string(getpid()) + ".INI");
  qputenv("KEST_INI", QByteArray::fromStdString(ini.string()));
  QApplication app(argc, argv);
  QuietUi quiet;
  kest::SetUi(&quiet);
#endif
  char host[256] = "";
  gethostname(host, sizeof host);
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("Kest32 scale report on %s, %ld cores, load average %.1f; times are CPU time (user + system) but for\n"
              "the scan's first line and where wall is said\n",
              host, sysconf(_SC_NPROCESSORS_ONLN), load[0]);

  const fs::path dir = fs::temp_directory_path();
  std::vector<fs::path> made;
  auto realistic = [&](const char* name, std::int64_t bytes, unsigned seed) {
    auto log = kest::bench::WriteLog(dir / ("kest-bench-" + std::string(name) + ".log"), bytes, seed);
    made.push_back(log.path);
    Report(o, name, log, true, true);
    if (!o.keep) fs::remove(log.path);
  };
  auto shape = [&](const char* name, kest::bench::Shape s, std::int32_t remarks) {
    auto log = kest::bench::WriteShape(dir / ("kest-bench-" + std::string(name) + ".log"), s, remarks);
    made.push_back(log.path);
    Report(o, name, log, false, false);
    // Listing prints every prefix in full: a chain n deep prints n^2 bytes.
    if (!o.kest32.empty() && remarks <= 40'000) {
      const RunResult list = Run({o.kest32, "--list", "--sort=content1", log.path.string()});
      std::printf("  kest32 --list --sort=content1  %6.0f ms (wall %.0f ms)  peak RSS %6.1f MB\n", list.ms,
                  list.wallMs, static_cast<double>(list.maxRssKb) / 1024.0);
    }
    if (!o.keep) fs::remove(log.path);
  };

  for (const std::string& file : o.files) {
#ifdef KEST_BENCH_WINDOW
    if (o.windowOnly) {
      Run({"cat", file});  // warm the page cache
      WindowOpen(file, 0, fs::file_size(file) > (2LL << 30));
      WindowStarts(o.kest32, file, "(this log)");
      WindowStarts(o.kest32, KEST_SAMPLE_LOG, "(sample)");
      continue;
    }
#endif
    kest::bench::GeneratedLog log;
    log.path = file;
    log.bytes = static_cast<std::int64_t>(fs::file_size(log.path));
    kest::TLogCtrl index;
    kest::ScanLog(log.path, index);
    log.remarks = index.Count();
    Report(o, file.c_str(), log, true, true);
  }
  if (!o.files.empty()) return 0;
  realistic("100MB", 100'000'000, 1);
  shape(o.quick ? "fan-100k" : "fan-1M", kest::bench::Shape::Fan, o.quick ? 100'000 : 1'000'000);
  shape(o.quick ? "chain-10k" : "chain-100k", kest::bench::Shape::Chain, o.quick ? 10'000 : 100'000);
  if (!o.quick) shape("chain-31603", kest::bench::Shape::Chain, 31'603);
  if (!o.quick) realistic("1GiB", 1LL << 30, 2);
  if (o.huge) realistic("2.2GB", 2'200'000'000, 3);
#ifdef KEST_BENCH_WINDOW
  std::error_code ec;
  fs::remove(ini, ec);
#endif
  return 0;
}
