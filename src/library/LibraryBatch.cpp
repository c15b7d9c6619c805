#include "library/LibraryBatch.h"

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "library/LibrarySearch.h"
#include "library/LibraryUpdate.h"
#include "platform/Codec.h"

namespace kest {

namespace {

enum class Command { None, Add, Remove, Update, List, Search };

struct Options {
  Command command = Command::None;
  std::vector<std::string> args;  // DIRs, or TEXT
  std::string library;
  bool ignoreCase = false;
  std::optional<std::string> speaker, from, to, limit;
  bool shiftJis = false;
};

struct UsageError {
  std::string message;
};

Options Parse(int argc, char** argv) {
  Options o;
  bool optionsDone = false;
  auto set = [&o](Command c) {
    if (o.command != Command::None) throw UsageError{"コマンドは一つだけ指定してください"};
    o.command = c;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (optionsDone || a.size() < 2 || a.substr(0, 2) != "--") {
      o.args.emplace_back(a);
      continue;
    }
    if (a == "--") {
      optionsDone = true;
      continue;
    }
    const std::string_view name = a.substr(0, a.find('='));
    const bool hasValue = name.size() != a.size();
    const std::string value = hasValue ? std::string(a.substr(name.size() + 1)) : std::string();
    auto required = [&]() -> std::string {
      if (hasValue) return value;
      if (i + 1 >= argc) throw UsageError{std::string(name) + " には値が必要です"};
      return argv[++i];
    };
    if (name == "--library-add" && !hasValue) set(Command::Add);
    else if (name == "--library-remove" && !hasValue) set(Command::Remove);
    else if (name == "--library-update" && !hasValue) set(Command::Update);
    else if (name == "--library-list" && !hasValue) set(Command::List);
    else if (name == "--library-search") {
      set(Command::Search);
      o.args.insert(o.args.begin(), required());
    } else if (name == "--library") o.library = required();
    else if (name == "--ignore-case" && !hasValue) o.ignoreCase = true;
    else if (name == "--speaker") o.speaker = required();
    else if (name == "--from") o.from = required();
    else if (name == "--to") o.to = required();
    else if (name == "--limit") o.limit = required();
    else if (name == "--encoding" && hasValue) {
      if (value == "utf-8" || value == "utf8" || value == "UTF-8") o.shiftJis = false;
      else if (value == "shift_jis" || value == "shift-jis" || value == "sjis" || value == "cp932")
        o.shiftJis = true;
      else throw UsageError{"--encoding の値が正しくありません: " + value};
    } else {
      throw UsageError{"知らないオプションです: " + std::string(a)};
    }
  }
  if (o.command != Command::Search && (o.ignoreCase || o.speaker || o.from || o.to || o.limit)) {
    throw UsageError{"--ignore-case, --speaker, --from, --to, --limit は --library-search とだけ使えます"};
  }
  switch (o.command) {
    case Command::Add:
      if (o.args.empty()) throw UsageError{"--library-add にはフォルダを指定してください"};
      break;
    case Command::Remove:
      if (o.args.size() != 1) throw UsageError{"--library-remove にはフォルダを一つ指定してください"};
      break;
    case Command::Search:
      if (o.args.size() != 1) throw UsageError{"--library-search の検索文字列は一つだけです"};
      break;
    default:
      if (!o.args.empty()) throw UsageError{"余分な引数があります: " + o.args[0]};
  }
  return o;
}

// Ctrl+C during an update: the log being written is rolled back and the
// update ends, the library as it was before that log.
std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

// The progress of an update on a terminal: one line, rewritten at most ten
// times a second.
class TerminalProgress {
 public:
  explicit TerminalProgress(std::ostream& err) : err_(err), shown_(::isatty(STDERR_FILENO) == 1) {}
  ~TerminalProgress() {
    if (drawn_) err_ << "\r\033[K" << std::flush;
  }
  UpdateProgressFn Callback() {
    if (!shown_) return {};
    return [this](const UpdateProgress& p) {
      const auto now = std::chrono::steady_clock::now();
      if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
      last_ = now;
      drawn_ = true;
      const int percent = p.totalBytes > 0 ? static_cast<int>(p.doneBytes * 100 / p.totalBytes) : 0;
      err_ << "\r\033[K" << (p.compacting ? "索引を再構成中 " : "索引を作成中 ") << percent << "% ("
           << p.doneFiles << "/" << p.totalFiles << ") " << p.current << std::flush;
    };
  }

 private:
  std::ostream& err_;
  bool shown_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

// A field of a printed line: Shift-JIS converted (unless the output is
// Shift-JIS), a tab or a line break in it printed as a blank.
void AppendField(std::string& line, std::string_view sjis, bool shiftJis) {
  const std::size_t from = line.size();
  if (shiftJis) {
    line.append(sjis);
  } else {
    AppendSjisAsUtf8(sjis, line);
  }
  for (std::size_t i = from; i < line.size(); ++i) {
    if (line[i] == '\t' || line[i] == '\n' || line[i] == '\r') line[i] = ' ';
  }
}

// A path or a member's name: bytes of the file system, printed as they are
// but for tabs and line breaks.
void AppendName(std::string& line, std::string_view name) {
  for (char c : name) line.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
}

void PrintUpdate(const UpdateReport& r, Library& library, std::ostream& out, std::ostream& err) {
  for (const std::string& p : r.problems) err << "kest32: " << p << "\n";
  if (r.cancelled) err << "kest32: 更新を中断しました (読み終えたログまでは索引にあります)\n";
  out << "ログ: 追加 " << r.added << ", 更新 " << r.changed << ", 削除 " << r.removed << ", 変更なし "
      << r.unchanged << "; ログでないファイル " << r.notLogs << "\n";
  out << "ライブラリ: ログ " << library.Logs().size() << " 件, 発言 " << library.RemarkCount() << " 件"
      << (r.compacted ? " (索引を再構成しました)" : "") << "\n";
}

int Update(Library& library, const ArchiveHook& hook, std::ostream& out, std::ostream& err) {
  UpdateLock lock(library.File());
  gInterrupted.store(false);
  auto previous = std::signal(SIGINT, OnInterrupt);
  UpdateReport report;
  {
    TerminalProgress progress(err);
    try {
      report = UpdateLibrary(library, hook, progress.Callback(), &gInterrupted);
    } catch (...) {
      std::signal(SIGINT, previous);
      throw;
    }
  }
  std::signal(SIGINT, previous);
  PrintUpdate(report, library, out, err);
  return report.cancelled ? 2 : 0;
}

int Search(const Options& o, const std::filesystem::path& file, const ArchiveHook& hook, std::ostream& out,
           std::ostream& err) {
  LibraryQuery q;
  bool ok = true;
  q.key = LocaleToSjis(o.args[0], &ok);
  if (!ok) {
    err << "kest32: 検索文字列を Shift-JIS に変換できません: " << o.args[0] << "\n";
    return 2;
  }
  q.ignoreCase = o.ignoreCase;
  if (o.speaker) {
    q.speaker = LocaleToSjis(*o.speaker, &ok);
    if (!ok) {
      err << "kest32: 発言者を Shift-JIS に変換できません: " << *o.speaker << "\n";
      return 2;
    }
  }
  auto day = [&err](const std::optional<std::string>& text, const char* flag, std::optional<Day>& to) {
    if (!text) return true;
    to = ParseIsoDate(*text);
    if (!to) err << "kest32: " << flag << " の日付が正しくありません (YYYY-MM-DD): " << *text << "\n";
    return to.has_value();
  };
  if (!day(o.from, "--from", q.from) || !day(o.to, "--to", q.to)) return 2;
  if (o.limit) {
    std::size_t n = 0;
    const auto [end, ec] = std::from_chars(o.limit->data(), o.limit->data() + o.limit->size(), n);
    if (ec != std::errc() || end != o.limit->data() + o.limit->size() || n == 0) {
      err << "kest32: --limit の値が正しくありません: " << *o.limit << "\n";
      return 2;
    }
    q.limit = n;
  }
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) {
    err << "kest32: ライブラリはまだ空です (--library-add でフォルダを加えてください): " << file.string()
        << "\n";
    return 1;
  }
  Library library(file, SqlDb::Mode::Read);
  std::string line;
  const SearchReport report = SearchLibrary(library, q, hook, [&](const LibraryHit& h) {
    line.clear();
    AppendName(line, h.path);
    line.push_back('\t');
    AppendName(line, h.member);
    line.push_back('\t');
    line += std::to_string(h.number);
    line.push_back('\t');
    line += std::to_string(h.start.v);
    line.push_back('\t');
    if (h.day) line += FormatDay(*h.day);
    line.push_back('\t');
    AppendField(line, h.poster, o.shiftJis);
    line.push_back('\t');
    AppendField(line, h.speaker, o.shiftJis);
    line.push_back('\t');
    AppendField(line, h.title, o.shiftJis);
    line.push_back('\n');
    out << line;
    return true;
  });
  out.flush();
  for (const std::string& p : report.problems) err << "kest32: " << p << "\n";
  if (!report.problems.empty()) return 2;
  return report.hits > 0 ? 0 : 1;
}

int List(const std::filesystem::path& file, std::ostream& out) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return 0;  // nothing added yet
  Library library(file, SqlDb::Mode::Read);
  for (const LibraryLog& log : library.Logs()) {
    std::string line;
    AppendName(line, log.path);
    line.push_back('\t');
    AppendName(line, log.member);
    line += "\t" + std::to_string(log.remarks) + "\t";
    if (log.firstDay) line += FormatDay(*log.firstDay);
    line.push_back('\t');
    if (log.lastDay) line += FormatDay(*log.lastDay);
    out << line << "\n";
  }
  return 0;
}

}  // namespace

bool IsLibraryInvocation(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--") return false;
    if (a.substr(0, 10) == "--library-") return true;
  }
  return false;
}

int RunLibraryBatch(int argc, char** argv, std::ostream& out, std::ostream& err, const ArchiveHook& hook) {
  Options o;
  try {
    o = Parse(argc, argv);
  } catch (const UsageError& e) {
    err << "kest32: " << e.message << "\n使い方:\n" KEST_LIBRARY_USAGE;
    return 2;
  }
  const std::filesystem::path file =
      o.library.empty() ? DefaultLibraryFile() : std::filesystem::path(o.library);
  try {
    switch (o.command) {
      case Command::Add: {
        std::vector<std::filesystem::path> dirs;
        for (const std::string& d : o.args) {
          std::error_code ec;
          if (!std::filesystem::is_directory(d, ec)) {
            err << "kest32: フォルダがありません: " << d << "\n";
            return 2;
          }
          dirs.push_back(LibraryFolderPath(d));
        }
        Library library(file, SqlDb::Mode::Write);
        for (const std::filesystem::path& d : dirs) {
          if (!library.AddFolder(d))
            err << "kest32: もうライブラリにあるフォルダです: " << d.string() << "\n";
        }
        return Update(library, hook, out, err);
      }
      case Command::Remove: {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) {
          err << "kest32: ライブラリにないフォルダです: " << o.args[0] << "\n";
          return 2;
        }
        UpdateLock lock(file);
        Library library(file, SqlDb::Mode::Write);
        if (!library.RemoveFolder(o.args[0])) {
          err << "kest32: ライブラリにないフォルダです: " << o.args[0] << "\n";
          for (const std::filesystem::path& f : library.Folders()) err << "  " << f.string() << "\n";
          return 2;
        }
        out << "フォルダを外しました: " << LibraryFolderPath(o.args[0]).string() << "\n";
        return 0;
      }
      case Command::Update: {
        Library library(file, SqlDb::Mode::Write);
        return Update(library, hook, out, err);
      }
      case Command::List: return List(file, out);
      case Command::Search: return Search(o, file, hook, out, err);
      case Command::None: break;
    }
  } catch (const LibraryError& e) {
    err << "kest32: " << e.what() << "\n";
    return 2;
  }
  return 2;
}

}  // namespace kest
