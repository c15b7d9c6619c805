#include "library/LogWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

namespace kest {
namespace {

// Folders deeper than this are not walked into (a loop of bind mounts, which
// links and inodes do not show, ends here too).
constexpr int kDeepest = 128;

using Identity = std::pair<dev_t, ino_t>;

class Walker {
 public:
  Walker(WalkResult& result, const std::atomic<bool>* cancel) : result_(result), cancel_(cancel) {}

  void Folder(const std::filesystem::path& dir, const struct stat& st, int depth) {
    if (cancel_ && cancel_->load()) return;
    const Identity id{st.st_dev, st.st_ino};
    if (std::find(above_.begin(), above_.end(), id) != above_.end()) {
      result_.problems.push_back("シンボリックリンクが上のフォルダに戻っています (たどりません): " +
                                 dir.string());
      return;
    }
    if (!folders_.insert(id).second) return;  // reached before through another link
    if (depth > kDeepest) {
      result_.problems.push_back("フォルダが深すぎます (たどりません): " + dir.string());
      return;
    }
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
      result_.problems.push_back("フォルダを読めません (" + std::string(std::strerror(errno)) +
                                 "): " + dir.string());
      result_.unseen.push_back(dir);
      return;
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    above_.push_back(id);
    for (const std::string& name : names) {
      const std::filesystem::path p = dir / name;
      struct stat est {};
      if (::stat(p.c_str(), &est) != 0) continue;  // a dangling link, or gone meanwhile
      if (S_ISDIR(est.st_mode)) {
        Folder(p, est, depth + 1);
      } else if (S_ISREG(est.st_mode) && files_.insert({est.st_dev, est.st_ino}).second) {
        FoundFile f;
        f.path = p;
        f.stamp.size = static_cast<std::int64_t>(est.st_size);
        f.stamp.mtimeNs = static_cast<std::int64_t>(est.st_mtim.tv_sec) * 1'000'000'000 + est.st_mtim.tv_nsec;
        f.stamp.inode = static_cast<std::int64_t>(est.st_ino);
        result_.files.push_back(std::move(f));
      }
    }
    above_.pop_back();
  }

 private:
  WalkResult& result_;
  const std::atomic<bool>* cancel_;
  std::vector<Identity> above_;  // the folders from the top down to the one walked
  std::set<Identity> folders_, files_;
};

}  // namespace

bool LogLikeName(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return true;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == "log" || ext == "txt";
}

WalkResult WalkFolders(const std::vector<std::filesystem::path>& folders, const std::atomic<bool>* cancel) {
  WalkResult result;
  Walker walker(result, cancel);
  for (const std::filesystem::path& dir : folders) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      result.problems.push_back("ライブラリのフォルダがありません (その中のログは索引に残します): " +
                                dir.string());
      result.unseen.push_back(dir);
      continue;
    }
    walker.Folder(dir, st, 0);
  }
  std::sort(result.files.begin(), result.files.end(),
            [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
  return result;
}

}  // namespace kest
