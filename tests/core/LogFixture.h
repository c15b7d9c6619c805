// Builds small logs byte by byte for the tests, in the fixed columns of the
// format, and writes them to a fresh temporary folder.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <utility>
#include <string>

#include "platform/Codec.h"

namespace kest::test {

inline std::string Pad(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

inline std::string Num5(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%05d", n);
  return buf;
}

// Header line 1, layout 5: number 1-5, '/', ID 13-20, speaker 23-38, title 40-.
inline std::string Header5(int number, std::string id = "ABC01234", std::string speaker = "poster",
                           std::string title = "title") {
  return Num5(number) + "/00999 " + Pad(id, 8) + "  " + Pad(speaker, 16) + " " + title;
}

// Header line 1, layout 3: everything two bytes to the left.
inline std::string Header3(int number, std::string id = "ABC01234", std::string speaker = "poster",
                           std::string title = "title") {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%03d", number);
  return std::string(buf) + "/00999 " + Pad(id, 8) + "  " + Pad(speaker, 16) + " " + title;
}

// Header line 2: date in bytes 6-15, the commented-on number in 24-28 (only
// read when the line is longer than 30 bytes).
inline std::string Line2(std::string date = "96/03/01", int commentTo = 0) {
  std::string l = "     " + Pad(date, 10) + " 21:00  ";  // 23 bytes
  if (commentTo > 0) l += Num5(commentTo) + " comment";
  return l;
}

// One remark: header lines and body lines, each ended with CR LF.
inline std::string Remark(const std::string& h1, const std::string& h2,
                          std::initializer_list<std::string> body = {"body"}) {
  std::string s = h1 + "\r\n" + h2 + "\r\n";
  for (const std::string& b : body) s += b + "\r\n";
  return s;
}

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kest-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path Write(const std::string& name, const std::string& bytes) const {
    std::filesystem::path p = path_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  std::filesystem::path path_;
};

inline std::string Sjis(const char* utf8) { return Utf8ToSjis(utf8); }

// A log with the title "テストログ", an empty line and one remark per (number,
// comment-to) pair; remark n has the title "title<n>" and the body "body <n>".
inline std::string MakeLog(std::initializer_list<std::pair<int, int>> remarks,
                           const char* speaker = "poster") {
  std::string s = Sjis("テストログ") + "\r\n\r\n";
  for (auto [n, to] : remarks) {
    s += Remark(Header5(n, "ABC01234", speaker, "title" + std::to_string(n)), Line2("96/03/01", to),
                {"body " + std::to_string(n)});
  }
  return s;
}

// Threads (1), (2 -> 1), (3 -> 1), (4 -> 2), (5 -> 1), (6 -> 4), (7), (8 -> 9).
inline std::string ThreadLog() {
  return MakeLog({{1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 1}, {6, 4}, {7, 0}, {8, 9}});
}

// A Kest.INI's bookmark groups for the tests of many bookmarks: 100 groups at
// the top, ids A0, A6, ..., each with five subgroups; 600 groups, ids A0-A599.
inline std::string SixHundredBookGroups() {
  std::string file = "[Book Dir]\r\n";
  for (int t = 0, id = 0; t < 100; ++t) {
    const int top = id;
    file += "Group " + std::to_string(t) + "=A" + std::to_string(id++) + "|0\r\n";
    for (int s = 0; s < 5; ++s) {
      file += "Group " + std::to_string(t) + "-" + std::to_string(s) + "=A" + std::to_string(id++) + "|A" +
              std::to_string(top) + "\r\n";
    }
  }
  return file;
}

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace kest::test
