#include "archive/LogLocation.h"

namespace kest {
namespace {

constexpr std::string_view kMark = "archive:";

}  // namespace

LogLocation LogLocation::Member(const std::filesystem::path& archive, std::string member) {
  std::error_code ec;
  std::filesystem::path absolute = archive.is_absolute() ? archive : std::filesystem::absolute(archive, ec);
  if (ec) absolute = archive;
  std::string file;
  for (char c : absolute.string()) {
    if (c != '/' || file.empty() || file.back() != '/') file += c;
  }
  while (file.size() > 1 && file.back() == '/') file.pop_back();
  return {std::move(file), std::move(member)};
}

LogLocation LogLocation::Parse(std::string_view name) {
  if (name.starts_with(kMark) && name.size() > kMark.size() && name[kMark.size()] == '/') {
    const std::string_view rest = name.substr(kMark.size());
    const std::size_t split = rest.find("//");
    if (split != std::string_view::npos && split > 0 && split + 2 < rest.size()) {
      return {std::string(rest.substr(0, split)), std::string(rest.substr(split + 2))};
    }
  }
  return {std::string(name), {}};
}

std::string LogLocation::Format() const {
  if (member.empty()) return file;
  return std::string(kMark) + file + "//" + member;
}

std::string LogLocation::Display() const {
  if (member.empty()) return file;
  return file + " » " + member;
}

std::string LogLocation::Folder() const {
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

}  // namespace kest
