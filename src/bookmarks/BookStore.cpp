#include "bookmarks/BookStore.h"

#include <algorithm>

#include "platform/Codec.h"
#include "platform/Convert.h"
#include "platform/Profile.h"

namespace kest {

BookGroup ParseBookGroup(std::string name, std::string_view value) {
  BookGroup g;
  g.name = std::move(name);
  const std::size_t bar = value.find('|');
  g.id = std::string(value.substr(0, bar));
  if (bar != std::string_view::npos) g.parent = std::string(value.substr(bar + 1));
  return g;
}

BookMark ParseBookMark(std::string name, std::string_view value) {
  BookMark m;
  m.name = std::move(name);
  const auto unreadable = [&] {
    BookMark u;
    u.name = std::move(m.name);
    u.value = std::string(value);
    return u;
  };
  std::string_view rest = value;
  if (rest.empty()) return unreadable();
  if (rest.front() == '0' || rest.front() == 'A') {
    const std::size_t bar = rest.find('|');
    if (bar == std::string_view::npos) return unreadable();
    m.groupId = std::string(rest.substr(0, bar));
    rest.remove_prefix(bar + 1);
  } else {
    m.groupId = std::string(kRootGroupId);
    m.shortForm = true;
  }
  const std::size_t bar = rest.find('|');
  if (bar == std::string_view::npos) return unreadable();
  const std::optional<std::int32_t> number = StrToInt(rest.substr(0, bar));
  if (!number) return unreadable();
  m.number = *number;
  m.storedPath = std::string(rest.substr(bar + 1));
  m.readable = true;
  return m;
}

std::string GroupedBookMarkValue(std::string_view groupId, std::int32_t number, std::string_view storedPath) {
  return std::string(groupId) + "|" + std::to_string(number) + "|" + std::string(storedPath);
}

std::string AddedBookMarkValue(std::int32_t number, std::string_view storedPath) {
  if (number == 0) return GroupedBookMarkValue(kRootGroupId, number, storedPath);
  return std::to_string(number) + "|" + std::string(storedPath);
}

BookSections ReadBookSections(const ProfileText& ini) {
  BookSections s;
  ini.ForEachEntry(kBookDirSection, [&](std::string_view key, std::string_view value) {
    s.groups.push_back(ParseBookGroup(std::string(key), value));
  });
  ini.ForEachEntry(kBookMarkSection, [&](std::string_view key, std::string_view value) {
    s.marks.push_back(ParseBookMark(std::string(key), value));
  });
  return s;
}

BookSections ReadBookSections(const ProfileFile& ini) { return ReadBookSections(ini.Read()); }

namespace {

// The reader drops blanks at both ends of a value and then takes one pair of
// matching quotes off it. A value that looks quoted itself, or that begins or
// ends with a blank, gets one more pair, so that it reads back as it is.
std::string AsStored(std::string value) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  const bool quoted =
      value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  if (quoted || (!value.empty() && (blank(value.front()) || blank(value.back())))) {
    return '"' + value + '"';
  }
  return value;
}

}  // namespace

void WriteBookSections(ProfileText& ini, const BookSections& sections) {
  ProfileFile::Section dir{std::string(kBookDirSection), {}};
  for (const BookGroup& g : sections.groups)
    dir.entries.emplace_back(g.name, AsStored(g.id + "|" + g.parent));
  ProfileFile::Section mark{std::string(kBookMarkSection), {}};
  for (const BookMark& m : sections.marks) {
    mark.entries.emplace_back(
        m.name, m.readable ? GroupedBookMarkValue(m.groupId, m.number, m.storedPath) : AsStored(m.value));
  }
  ini.ReplaceSections({std::move(dir), std::move(mark)});
}

void WriteBookSections(ProfileFile& ini, const BookSections& sections) {
  ini.Update([&](ProfileText& t) { WriteBookSections(t, sections); });
}

std::string TrimName(std::string_view name) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!name.empty() && blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && blank(name.back())) name.remove_suffix(1);
  return std::string(name);
}

std::optional<NameProblem> KeyProblem(std::string_view name) {
  if (name.empty()) return NameProblem::kEmpty;
  if (name.front() == '[' || name.front() == ';') return NameProblem::kNotAKey;
  // '=' and the control characters cannot be trail bytes of Shift-JIS, so a
  // plain search finds only real ones.
  const bool bad = std::any_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return c == '=' || u < 0x20 || u == 0x7F;
  });
  if (bad) return NameProblem::kNotAKey;
  return std::nullopt;
}

bool NameTaken(std::string_view name, const std::vector<std::string>& names) {
  const std::string upper = AnsiUpper(name);
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return AnsiUpper(n) == upper; });
}

std::vector<std::string> UsedNames(const BookSections& sections) {
  std::vector<std::string> names;
  for (const BookGroup& g : sections.groups) names.push_back(g.name);
  for (const BookMark& m : sections.marks) names.push_back(m.name);
  return names;
}

}  // namespace kest
