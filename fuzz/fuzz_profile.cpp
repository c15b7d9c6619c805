// Any bytes as Kest.INI: reading it, the bookmark menu, the organizer's OK
// (written back) and reading again must neither crash nor read outside the
// input, and the second reading must give the same bookmarks and groups.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bookmarks/BookStore.h"
#include "bookmarks/MenuTree.h"
#include "bookmarks/Organizer.h"
#include "platform/Profile.h"

namespace {

std::filesystem::path Folder() {
  static const std::filesystem::path dir = [] {
    std::string tmpl = (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm")
                                                             : std::filesystem::temp_directory_path().string()) +
                       "/kest-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    return std::filesystem::path(tmpl);
  }();
  return dir;
}

bool SameMark(const kest::BookMark& a, const kest::BookMark& b) {
  if (a.name != b.name || a.readable != b.readable) return false;
  if (!a.readable) return a.value == b.value;
  return a.groupId == b.groupId && a.number == b.number && a.storedPath == b.storedPath;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = Folder() / "Kest.INI";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  kest::ProfileFile ini(path);
  ini.ReadString("Option", "SortType", "1");
  ini.ReadInteger("Font", "FontSize", 14);
  ini.ReadSectionKeys("FileName");

  const kest::BookSections first = kest::ReadBookSections(ini);
  kest::BuildBookMenuTree(first);
  kest::BookOrganizer organizer;
  organizer.Load(first);
  const kest::BookSections written = organizer.Result();
  kest::WriteBookSections(ini, written);
  const kest::BookSections again = kest::ReadBookSections(ini);

  // No bookmark is lost or changed, readable or not.
  if (again.marks.size() != first.marks.size()) std::abort();
  for (std::size_t i = 0; i < first.marks.size(); ++i) {
    if (!SameMark(first.marks[i], again.marks[i])) std::abort();
  }
  // The groups read back as OK wrote them.
  if (again.groups.size() != written.groups.size()) std::abort();
  for (std::size_t i = 0; i < written.groups.size(); ++i) {
    const kest::BookGroup &w = written.groups[i], &r = again.groups[i];
    if (w.name != r.name || w.id != r.id || w.parent != r.parent) std::abort();
  }
  return 0;
}
