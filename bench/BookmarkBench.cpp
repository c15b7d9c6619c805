// The bookmark menu and the organizer's OK on 2,000 bookmarks in 50 groups,
// through the settings file on disk (each must stay well under 0.2 s).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bookmarks/BookStore.h"
#include "bookmarks/MenuTree.h"
#include "bookmarks/Organizer.h"
#include "platform/Profile.h"

namespace {

std::filesystem::path MakeIni() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kest-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  const std::filesystem::path path = std::filesystem::path(tmpl) / "Kest.INI";
  std::string file = "[Option]\r\nSortType=1\r\n[Book Dir]\r\n";
  for (int g = 0; g < 50; ++g) {
    // Ten top-level groups, each with four sub-groups.
    const std::string parent = g < 10 ? "0" : "A" + std::to_string(g % 10);
    file += "Group " + std::to_string(g) + "=A" + std::to_string(g) + "|" + parent + "\r\n";
  }
  file += "[Book Mark]\r\n";
  for (int i = 0; i < 2000; ++i) {
    file += "Bookmark " + std::to_string(i) + "=A" + std::to_string(i % 50) + "|" +
            std::to_string(i * 7) + "|/home/user/logs/forum" + std::to_string(i % 13) + ".log\r\n";
  }
  std::ofstream(path, std::ios::binary) << file;
  return path;
}

void BM_BookmarkMenu2000(benchmark::State& state) {
  const std::filesystem::path path = MakeIni();
  kest::ProfileFile ini(path);
  for (auto _ : state) {
    benchmark::DoNotOptimize(kest::BuildBookMenuTree(kest::ReadBookSections(ini)));
  }
  std::filesystem::remove_all(path.parent_path());
}
BENCHMARK(BM_BookmarkMenu2000)->Unit(benchmark::kMillisecond);

void BM_OrganizerOk2000(benchmark::State& state) {
  const std::filesystem::path path = MakeIni();
  kest::ProfileFile ini(path);
  for (auto _ : state) {
    kest::BookOrganizer o;
    o.Load(kest::ReadBookSections(ini));  // the organizer's show
    kest::WriteBookSections(ini, o.Result());
  }
  std::filesystem::remove_all(path.parent_path());
}
BENCHMARK(BM_OrganizerOk2000)->Unit(benchmark::kMillisecond);

}  // namespace
