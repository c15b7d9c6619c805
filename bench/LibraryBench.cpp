// The library's speed on a library it generates (by default 1 GiB in 300
// logs; see bench/LogGenerator.h), each figure beside `grep -rF -c` over the
// same logs in the same run:
//
//   first full update (kest32 --library-add), with searches answered while it
//     runs; the index's size
//   an update after one log of about 5 MB changed, and one after none did
//   kest32 --library-search of a two-character key with at most 1,000 hits,
//     the whole process
//   the first page (50 hits, newest first) of the search the window runs, for
//     keys of every kind
//
//   kest_bench_library [--bytes=N] [--logs=N] [--dir=PATH] [--keep]
//
// The logs are written to PATH (default: the temporary folder's
// kest-bench-library) and kept there for the next run with --keep; the
// database beside them is always made anew.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "LogGenerator.h"
#include "library/LibrarySearch.h"
#include "platform/Codec.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct RunResult {
  double wallMs = 0, cpuMs = 0;
  int status = -1;
  std::string out;  // the first lines of standard output
  std::int64_t lines = 0;
};

// Runs a program with `env` added, its standard output counted in lines.
RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return {};
  RunResult r;
  const auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], 1);
    close(pipefd[0]);
    close(pipefd[1]);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(pipefd[1]);
  char buf[65536];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) {
    r.lines += std::count(buf, buf + n, '\n');
    if (r.out.size() < 4096) r.out.append(buf, static_cast<std::size_t>(n));
  }
  close(pipefd[0]);
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  r.wallMs = Ms(t0, Clock::now());
  r.cpuMs = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
            static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

RunResult Best(int times, const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
  RunResult best;
  best.wallMs = 1e300;
  for (int i = 0; i < times; ++i) {
    RunResult r = Run(argv, env);
    if (r.wallMs < best.wallMs) best = r;
  }
  return best;
}

std::int64_t FileSize(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : static_cast<std::int64_t>(n);
}

// The time to the first `page` hits of the window's search (newest first),
// or to its end when there are fewer; the hits counted to the end as well.
struct PageTime {
  double firstPageMs = 0, allMs = 0;
  std::int64_t hits = 0;
};

PageTime FirstPage(const fs::path& db, const std::string& key, bool ignoreCase, std::size_t page = 50) {
  kest::Library library(db, kest::SqlDb::Mode::Read);
  kest::LibraryQuery q;
  q.key = key;
  q.ignoreCase = ignoreCase;
  q.newestFirst = true;
  PageTime t;
  const auto t0 = Clock::now();
  const kest::SearchReport r = kest::SearchLibrary(library, q, {}, [&](const kest::LibraryHit&) {
    if (++t.hits == static_cast<std::int64_t>(page)) t.firstPageMs = Ms(t0, Clock::now());
    return true;
  });
  t.allMs = Ms(t0, Clock::now());
  if (t.hits < static_cast<std::int64_t>(page)) t.firstPageMs = t.allMs;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t bytes = 1LL << 30;
  int logs = 300;
  bool keep = false;
  fs::path dir = fs::temp_directory_path() / "kest-bench-library";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--bytes=", 0) == 0) bytes = std::atoll(a.c_str() + 8);
    else if (a.rfind("--logs=", 0) == 0) logs = std::atoi(a.c_str() + 7);
    else if (a.rfind("--dir=", 0) == 0) dir = a.substr(6);
    else if (a == "--keep") keep = true;
  }
  const std::string kest32 = KEST32_BINARY;
  const fs::path db = dir.string() + ".db";

  char host[256] = "";
  gethostname(host, sizeof host);
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("Kest32 library report on %s, %ld cores, load average %.1f\n", host, sysconf(_SC_NPROCESSORS_ONLN),
              load[0]);

  // The library: made once, kept with --keep.
  const fs::path marker = dir / (".generated-" + std::to_string(bytes) + "-" + std::to_string(logs));
  kest::bench::GeneratedLibrary lib;
  if (!fs::exists(marker)) {
    fs::remove_all(dir);
    const auto t0 = Clock::now();
    lib = kest::bench::WriteLibrary(dir, bytes, logs);
    std::ofstream(marker) << lib.bytes << " " << lib.remarks << "\n";
    std::printf("generated %zu logs in %.0f s\n", lib.logs.size(), Ms(t0, Clock::now()) / 1e3);
  } else {
    std::ifstream(marker) >> lib.bytes >> lib.remarks;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      if (e.is_regular_file() && e.path().extension() == ".log") {
        kest::bench::GeneratedLog g;
        g.path = e.path();
        g.bytes = static_cast<std::int64_t>(e.file_size());
        lib.logs.push_back(g);
      }
    }
  }
  // Logs of long ago, as a user's are (a file changed in the last seconds is
  // read again by every update, in case it changes once more in the same
  // tick of the clock).
  for (const auto& l : lib.logs) {
    const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(l.path, past);
  }
  const double mb = static_cast<double>(lib.bytes) / 1e6;
  std::printf("library: %zu logs, %.1f MB, %lld remarks, in %s\n\n", lib.logs.size(), mb,
              static_cast<long long>(lib.remarks), dir.c_str());
  Run({"sh", "-c", "cat \"$0\"/*/*.log > /dev/null", dir.string()});  // warm the page cache

  const std::string rare = kest::bench::RareWord();
  const std::vector<std::string> env = {"KEST_LIBRARY=" + db.string(), "LC_ALL=C.UTF-8"};
  auto grep = [&](const std::string& key, bool ignoreCase = false) {
    std::vector<std::string> args = {"grep", "-rF", "-c"};
    if (ignoreCase) args.push_back("-i");
    args.push_back("--");
    args.push_back(key);
    args.push_back(dir.string());
    return Best(3, args, {"LC_ALL=C"});
  };

  // The first full update, and searches answered while it runs.
  for (const char* suffix : {"", "-wal", "-shm", ".lock"}) fs::remove(db.string() + suffix);
  std::atomic<bool> done{false};
  double worstSearch = 0;
  int searches = 0;
  std::int64_t seenHits = 0;
  std::thread during([&] {
    while (!done) {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      if (done || !fs::exists(db)) continue;
      try {
        const PageTime t = FirstPage(db, rare, false, 1000000);
        worstSearch = std::max(worstSearch, t.allMs);
        seenHits = t.hits;
        ++searches;
      } catch (const std::exception&) {
        // Not created yet.
      }
    }
  });
  const RunResult full = Run({kest32, "--library-add", dir.string()}, env);
  done = true;
  during.join();
  const std::int64_t dbBytes = FileSize(db) + FileSize(db.string() + "-wal");
  const RunResult grepRare = grep(rare);

  // --library-search of the rare two-character key, the whole process.
  const RunResult search = Best(3, {kest32, "--library-search", rare}, env);

  // The first page of the window's search, for keys of every kind.
  struct Key {
    const char* what;
    std::string key;
    bool ignoreCase;
  };
  const std::vector<Key> keys = {
      {"1 char, in most remarks", KEST_SJIS("の"), false},
      {"1 char, rare", rare.substr(0, 2), false},
      {"2 chars, rare", rare, false},
      {"2 chars, frequent", KEST_SJIS("ます"), false},
      {"ASCII, case ignored", "AB", true},
      {"3 chars of frequent pairs", KEST_SJIS("ますの"), false},
      {"a long phrase, no hit", KEST_SJIS("存在しない長い言葉です"), false},
  };
  std::vector<PageTime> pages;
  double worstPage = 0;
  for (const Key& k : keys) {
    FirstPage(db, k.key, k.ignoreCase);  // the database's pages read once
    pages.push_back(FirstPage(db, k.key, k.ignoreCase));
    worstPage = std::max(worstPage, pages.back().firstPageMs);
  }

  // The 5 MB log changed: a few remarks added at its end, as a log grows.
  const kest::bench::GeneratedLog* five = &lib.logs[0];
  for (const auto& l : lib.logs) {
    if (std::llabs(l.bytes - 5'000'000) < std::llabs(five->bytes - 5'000'000)) five = &l;
  }
  const RunResult none = Run({kest32, "--library-update"}, env);
  std::string tail;
  {
    std::ifstream in(five->path, std::ios::binary);
    tail.resize(20000);
    in.seekg(static_cast<std::streamoff>(five->bytes / 2));
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    tail = tail.substr(tail.find("\r\n") + 2);
    tail = tail.substr(0, tail.rfind("\r\n") + 2);
  }
  std::ofstream(five->path, std::ios::binary | std::ios::app) << tail;
  const RunResult changed = Run({kest32, "--library-update"}, env);
  fs::resize_file(five->path, static_cast<std::uintmax_t>(five->bytes));  // as generated again
  fs::last_write_time(five->path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));

  std::printf("%-52s %22s %14s\n", "measure", "kest32", "target");
  std::printf("%-52s %9.1f MB/s wall %14s   (%.0f s wall, %.0f s CPU = %.1f MB/s of CPU)\n", "first full update",
              mb / full.wallMs * 1e3, ">= 30 MB/s", full.wallMs / 1e3, full.cpuMs / 1e3, mb / full.cpuMs * 1e3);
  std::printf("%-52s %14.0f ms %14s   (%d searches while it ran, the last saw %lld hits)\n",
              "  the rare key searched during the update, worst", worstSearch, "usable", searches,
              static_cast<long long>(seenHits));
  std::printf("%-52s %14.0f ms %14s   (%.0f ms CPU)\n", "update after one 5 MB log changed", changed.wallMs,
              "< 1000 ms", changed.cpuMs);
  std::printf("%-52s %14.0f ms %14s\n", "  update with nothing changed", none.wallMs, "");
  std::printf("%-52s %14.0f ms %14s   (%lld hits; grep -rF -c %.0f ms)\n", "--library-search, 2-char key, whole process",
              search.wallMs, "< 150 ms", static_cast<long long>(search.lines), grepRare.wallMs);
  std::printf("%-52s %14.1f ms %14s\n", "first page of 50 in the window, worst key", worstPage, "< 100 ms");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const RunResult g = grep(keys[i].key, keys[i].ignoreCase);
    std::printf("  %-50s %14.1f ms   (all %lld hits in %.0f ms; grep -rF -c %.0f ms)\n", keys[i].what,
                pages[i].firstPageMs, static_cast<long long>(pages[i].hits), pages[i].allMs, g.wallMs);
  }
  std::printf("%-52s %12.2f x %16s   (%.0f MB for %.0f MB of logs)\n", "index size", static_cast<double>(dbBytes) / static_cast<double>(lib.bytes),
              "<= 1.5 x", static_cast<double>(dbBytes) / 1e6, mb);
  if (full.status != 0 || changed.status != 0 || search.status != 0) {
    std::printf("\nkest32 failed: add %d, update %d, search %d\n", full.status, changed.status, search.status);
    std::fflush(stdout);
  }
  for (const char* suffix : {"", "-wal", "-shm", ".lock"}) fs::remove(db.string() + suffix);
  if (!keep) fs::remove_all(dir);
  return 0;
}
