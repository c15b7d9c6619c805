#include "library/LibraryUpdate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "library/LogWalk.h"
#include "library/RemarkCheck.h"
#include "log/Logunit1.h"
#include "log/RemarkHeader.h"

namespace kest {
namespace {

// Thrown inside a log's transaction when the update is cancelled.
struct Cancelled {};

// How often (in remarks) a long log looks at the cancel flag and reports.
constexpr std::int32_t kCheckEvery = 256;

class Indexer {
 public:
  Indexer(Library& library, const UpdateProgressFn& progress, const std::atomic<bool>* cancel)
      : db_(library.Db()),
        progress_(progress),
        cancel_(cancel),
        insertLog_(
            db_,
            "INSERT INTO logs(path, member, size, mtime, inode, native, title, remarks, first_day, last_day, "
            "read_at, first_remark) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"),
        insertRemark_(db_,
                      "INSERT INTO remarks(id, log, start, length, number, day, poster, speaker, title) "
                      "VALUES(?9, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
        insertText_(db_, "INSERT INTO remark_text(rowid, text) VALUES(?1, ?2)"),
        nextRemark_(db_, "SELECT value FROM counts WHERE name = 'next_remark'"),
        setNextRemark_(db_, "UPDATE counts SET value = ?1 WHERE name = 'next_remark'") {}

  UpdateProgress& Progress() { return state_; }

  void Report() {
    if (progress_) progress_(state_);
  }

  void CheckCancel() {
    if (cancel_ && cancel_->load()) throw Cancelled{};
  }

  // Writes a file that holds no log: tried, so that it is not read again
  // while it stays as it is. Gives its row's id.
  std::int64_t NotALog(const std::string& path, const std::string& member, const FileStamp& stamp,
                       std::int64_t readAt) {
    BindLog(path, member, stamp, readAt, true, {}, 0, std::nullopt, std::nullopt);
    insertLog_.Bind(12, 0).Run();
    return sqlite3_last_insert_rowid(db_.Handle());
  }

  // Scans and indexes the log read from `read`, giving its row's id;
  // nothing when it holds no remark (and nothing was written). Inside the
  // caller's transaction.
  std::optional<std::int64_t> Index(const std::string& path, const std::string& member,
                                    const FileStamp& stamp, std::int64_t readAt, const OpenedLog& read) {
    TLogCtrl index;
    const std::string title = ScanLog(read.ReadPath(), index);
    const std::int32_t n = index.Count();
    if (n == 0) return std::nullopt;
    std::vector<std::optional<Day>> days(static_cast<std::size_t>(n));
    std::optional<Day> first, last;
    for (std::int32_t i = 0; i < n; ++i) {
      const std::optional<Day> d = ParseRemarkDate(index.GetItem(IndexPos(i)).Date());
      days[static_cast<std::size_t>(i)] = d;
      if (d && (!first || *d < *first)) first = d;
      if (d && (!last || *d > *last)) last = d;
    }
    nextRemark_.Step();
    const std::int64_t firstId = nextRemark_.Int(0);
    nextRemark_.Reset();
    BindLog(path, member, stamp, readAt, read.Native(), title, n, first, last);
    insertLog_.Bind(12, firstId).Run();
    const std::int64_t log = sqlite3_last_insert_rowid(db_.Handle());

    LineReader reader(read.ReadPath());
    const std::int64_t base = state_.doneBytes;
    const double scale =
        index.ScannedSize > 0 ? static_cast<double>(stamp.size) / static_cast<double>(index.ScannedSize) : 0;
    std::string text;
    for (std::int32_t i = 0; i < n; ++i) {
      const TLogData& r = index.GetItem(IndexPos(i));
      if (i % kCheckEvery == kCheckEvery - 1) {
        CheckCancel();
        state_.doneBytes = base + static_cast<std::int64_t>(static_cast<double>(r.StartPos.v) * scale);
        Report();
      }
      const std::string poster = TrimSjisBlanks(r.ID());
      const std::string speaker = TrimSjisBlanks(r.Speaker());
      const std::int64_t id = firstId + i;
      insertRemark_.Bind(9, id)
          .Bind(1, log)
          .Bind(2, r.StartPos.v)
          .Bind(3, r.EndPos - r.StartPos)
          .Bind(4, r.Number.v);
      if (const std::optional<Day>& d = days[static_cast<std::size_t>(i)]) insertRemark_.Bind(5, *d);
      insertRemark_.BindBlob(6, poster).BindBlob(7, speaker).BindBlob(8, r.Title()).Run();
      text.clear();
      AppendSearchedLines(reader, r.StartPos, r.EndPos, text);
      insertText_.Bind(1, id).BindText(2, text).Run();
    }
    setNextRemark_.Bind(1, firstId + n).Run();
    return log;
  }

  // Puts the text of the log's remarks into the index again, under their
  // ids (the index is being rebuilt).
  void Reindex(const LibraryLog& log, const OpenedLog& read) {
    SqlStatement rows(db_, "SELECT id, start, length FROM remarks WHERE id BETWEEN ?1 AND ?2");
    rows.Bind(1, log.firstRemark).Bind(2, log.firstRemark + log.remarks - 1);
    LineReader reader(read.ReadPath());
    std::string text;
    for (std::int64_t k = 0; rows.Step(); ++k) {
      if (k % kCheckEvery == kCheckEvery - 1) CheckCancel();
      const ByteOffset start(rows.Int(1));
      text.clear();
      AppendSearchedLines(reader, start, start + rows.Int(2), text);
      insertText_.Bind(1, rows.Int(0)).BindText(2, text).Run();
    }
  }

 private:
  void BindLog(const std::string& path, const std::string& member, const FileStamp& stamp,
               std::int64_t readAt, bool native, std::string_view title, std::int64_t remarks,
               std::optional<Day> first, std::optional<Day> last) {
    insertLog_.BindText(1, path)
        .BindText(2, member)
        .Bind(3, stamp.size)
        .Bind(4, stamp.mtimeNs)
        .Bind(5, stamp.inode);
    insertLog_.Bind(11, readAt);
    insertLog_.Bind(6, native ? 1 : 0).BindBlob(7, title).Bind(8, remarks);
    if (first) insertLog_.Bind(9, *first);
    if (last) insertLog_.Bind(10, *last);
  }

  SqlDb& db_;
  const UpdateProgressFn& progress_;
  const std::atomic<bool>* cancel_;
  SqlStatement insertLog_, insertRemark_, insertText_, nextRemark_, setNextRemark_;
  UpdateProgress state_;
};

// Nanoseconds since 1970 by the clock file times are taken from.
std::int64_t NowNs() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// A file's time is kept in ticks of the kernel's clock, a few milliseconds
// long: a file written again in the tick in which it was read keeps its
// stamp though its text changed. So a file read within this much of its
// last change counts as changed at the next update, whatever its stamp.
constexpr std::int64_t kRacyNs = 2'000'000'000;

bool Unchanged(const LibraryLog& held, const FileStamp& now) {
  return held.stamp == now && held.stamp.mtimeNs + kRacyNs <= held.readAtNs;
}

// The logs are written in groups, a transaction each: the full-text index
// sorts all it has taken in at every commit, which costs about a third of
// the time when each log of a few megabytes commits on its own. A group ends
// after this many bytes of logs (a larger log is a group of its own) or
// files, so a cancelled or failed update gives up at most that much work;
// a log is never in the library in part.
constexpr std::int64_t kGroupBytes = 32 << 20;
constexpr std::int32_t kGroupFiles = 1000;

class Group {
 public:
  explicit Group(SqlDb& db) : db_(db) {}
  void Open() {
    if (!t_) t_ = std::make_unique<SqlTransaction>(db_);
  }
  // One more file written; the group ends when it is full.
  void Add(std::int64_t bytes) {
    bytes_ += bytes;
    if (bytes_ >= kGroupBytes || ++files_ >= kGroupFiles) Commit();
  }
  void Commit() {
    if (t_) t_->Commit();
    t_.reset();
    bytes_ = 0;
    files_ = 0;
  }

 private:
  SqlDb& db_;
  std::unique_ptr<SqlTransaction> t_;  // rolled back when the update ends before Commit
  std::int64_t bytes_ = 0;
  std::int32_t files_ = 0;
};

// The rows the library holds for one file: the file itself ('' member) and,
// for an archive, its members.
using FileRows = std::map<std::string, LibraryLog>;  // member -> row

class Updater {
 public:
  Updater(Library& library, const ArchiveHook& hook, const UpdateProgressFn& progress,
          const std::atomic<bool>* cancel, UpdateReport& report)
      : library_(library),
        hook_(hook),
        indexer_(library, progress, cancel),
        group_(library.Db()),
        report_(report) {}

  void Run(const std::atomic<bool>* cancel) {
    const std::vector<std::filesystem::path> folders = library_.Folders();
    WalkResult walk = WalkFolders(folders, cancel);
    indexer_.CheckCancel();
    report_.problems = std::move(walk.problems);

    std::map<std::string, FileRows> held;
    for (LibraryLog& row : library_.Files()) held[row.path][row.member] = std::move(row);

    // What to read: the files tried (by name, or archives when the hook
    // reads them) that are new or have changed.
    std::vector<const FoundFile*> work;
    std::set<std::string> seen;
    for (const FoundFile& f : walk.files) {
      const bool asLog = LogLikeName(f.path);
      if (!asLog && !hook_) continue;
      const std::string path = f.path.string();
      seen.insert(path);
      auto it = held.find(path);
      if (it != held.end() && it->second.count("") && Unchanged(it->second[""], f.stamp)) {
        ++report_.unchanged;
        continue;
      }
      work.push_back(&f);
      indexer_.Progress().totalBytes += f.stamp.size;
    }
    indexer_.Progress().totalFiles = static_cast<std::int32_t>(work.size());

    // What has gone: held files the walk did not find, unless they lie in a
    // folder it could not see into.
    for (auto& [path, rows] : held) {
      if (seen.count(path)) continue;
      bool unseen = false;
      for (const std::filesystem::path& u : walk.unseen) unseen = unseen || PathInFolder(path, u);
      if (unseen) continue;
      group_.Open();
      for (auto& [member, row] : rows) {
        if (row.remarks > 0) ++report_.removed;
        library_.DropLog(row.id);
      }
      group_.Add(0);
    }

    for (const FoundFile* f : work) {
      indexer_.CheckCancel();
      UpdateProgress& p = indexer_.Progress();
      p.current = f->path.string();
      indexer_.Report();
      const std::int64_t before = p.doneBytes;
      File(*f, held[f->path.string()]);
      p.doneBytes = before + f->stamp.size;
      ++p.doneFiles;
      report_.bytesRead += f->stamp.size;
    }
    group_.Commit();
    indexer_.Progress().current.clear();
    indexer_.Report();

    if (NeedsCompaction(library_.DeadEntries(), library_.RemarkCount())) Compact();
  }

 private:
  // Reads one new or changed file: a log, an archive of logs, or neither.
  void File(const FoundFile& f, FileRows& rows) {
    const std::string path = f.path.string();
    const std::int64_t readAt = NowNs();
    const bool wasLog = rows.count("") && rows[""].remarks > 0;
    try {
      if (LogLikeName(f.path)) {
        OpenedLog read(f.path, "", hook_);
        Write(path, "", f.stamp, readAt, rows, &read, wasLog);
        return;
      }
      std::optional<std::vector<ArchiveMemberLog>> members = hook_(f.path);
      // The archive itself: tried, no log of its own.
      Write(path, "", f.stamp, readAt, rows, nullptr, false);
      if (!members) return;
      std::set<std::string> names;
      for (const ArchiveMemberLog& m : *members) {
        indexer_.CheckCancel();
        names.insert(m.name);
        try {
          OpenedLog read(m.extract());
          Write(path, m.name, f.stamp, readAt, rows, &read, rows.count(m.name) && rows[m.name].remarks > 0);
        } catch (const LogFileError& e) {
          report_.problems.push_back(e.what());
        }
      }
      group_.Open();
      for (auto& [member, row] : rows) {
        if (member.empty() || names.count(member)) continue;
        if (row.remarks > 0) ++report_.removed;
        library_.DropLog(row.id);
      }
      group_.Add(0);
    } catch (const LogFileError& e) {
      // Unreadable now: what the library holds of it stays until it can be
      // read again.
      report_.problems.push_back(e.what());
    }
  }

  // One log (or a file that is none) in place of what the library held for
  // it, in the group's transaction.
  void Write(const std::string& path, const std::string& member, const FileStamp& stamp, std::int64_t readAt,
             FileRows& rows, const OpenedLog* read, bool wasLog) {
    group_.Open();
    if (auto it = rows.find(member); it != rows.end()) library_.DropLog(it->second.id);
    std::optional<std::int64_t> id;
    if (read) id = indexer_.Index(path, member, stamp, readAt, *read);
    const bool isLog = id.has_value();
    if (!isLog) id = indexer_.NotALog(path, member, stamp, readAt);
    indexer_.CheckCancel();
    // A file that changed while it was read is not kept: the next update
    // finds it changed and reads it again.
    const std::optional<FileStamp> now = StampOf(path);
    if (!now || !(*now == stamp)) {
      library_.DropLog(*id);
      report_.problems.push_back("読んでいる間にファイルが変わりました (次の更新で読み直します): " + path);
      return;
    }
    std::error_code ec;
    group_.Add(read ? static_cast<std::int64_t>(std::filesystem::file_size(read->ReadPath(), ec)) : 0);
    if (read) {
      if (!isLog) ++report_.notLogs;
      else if (wasLog) ++report_.changed;
      else ++report_.added;
    }
  }

  // Builds the full-text index anew from the logs, in one transaction: the
  // dead entries go. A log that has changed since it was indexed leaves the
  // library, to come back as new in the next update.
  void Compact() {
    SqlTransaction t(library_.Db());
    library_.Db().Exec("INSERT INTO remark_text(remark_text) VALUES('delete-all')");
    const std::vector<LibraryLog> logs = library_.Logs();
    UpdateProgress& p = indexer_.Progress();
    p = UpdateProgress{};
    p.compacting = true;
    p.totalFiles = static_cast<std::int32_t>(logs.size());
    for (const LibraryLog& log : logs) p.totalBytes += log.stamp.size;
    for (const LibraryLog& log : logs) {
      indexer_.CheckCancel();
      p.current = log.member.empty() ? log.path : log.path + " » " + log.member;
      indexer_.Report();
      const std::optional<FileStamp> now = StampOf(log.path);
      bool kept = false;
      if (now && *now == log.stamp) {
        try {
          OpenedLog read(log.path, log.member, hook_, log.native);
          indexer_.Reindex(log, read);
          kept = true;
        } catch (const LogFileError& e) {
          report_.problems.push_back(e.what());
        }
      }
      if (!kept) library_.DropLog(log.id);
      p.doneBytes += log.stamp.size;
      ++p.doneFiles;
    }
    library_.Db().Exec("UPDATE counts SET value = 0 WHERE name = 'dead'");
    t.Commit();
    report_.compacted = true;
  }

  Library& library_;
  const ArchiveHook& hook_;
  Indexer indexer_;
  Group group_;
  UpdateReport& report_;
};

}  // namespace

UpdateLock::UpdateLock(const std::filesystem::path& libraryFile) {
  std::error_code ec;
  if (libraryFile.has_parent_path()) std::filesystem::create_directories(libraryFile.parent_path(), ec);
  const std::string lock = libraryFile.string() + ".lock";
  fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    throw LibraryError("ライブラリのフォルダに書き込めません (" + std::string(std::strerror(errno)) +
                       "): " + libraryFile.parent_path().string());
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
    throw LibraryError("ライブラリは別のウィンドウかコマンドが更新中です。終わってからやり直してください: " +
                       libraryFile.string());
  }
}

UpdateLock::~UpdateLock() {
  if (fd_ >= 0) ::close(fd_);
}

UpdateReport RemoveLibraryFolders(Library& library, const std::vector<std::filesystem::path>& folders,
                                  const UpdateProgressFn& progress, const std::atomic<bool>* cancel) {
  UpdateReport report;
  UpdateProgress p;
  p.removing = true;
  try {
    library.RemoveFolders(folders, [&](const LibraryLog& file, std::size_t done, std::size_t total) {
      if (cancel && cancel->load()) throw Cancelled{};
      p.doneFiles = static_cast<std::int32_t>(done);
      p.totalFiles = static_cast<std::int32_t>(total);
      p.current = file.member.empty() ? file.path : file.path + " » " + file.member;
      if (progress) progress(p);
      if (file.remarks > 0) ++report.removed;
    });
  } catch (const Cancelled&) {
    report.removed = 0;
    report.cancelled = true;
  }
  return report;
}

bool NeedsCompaction(std::int64_t dead, std::int64_t live) { return dead > 0 && dead * 2 > live; }

UpdateReport UpdateLibrary(Library& library, const ArchiveHook& hook, const UpdateProgressFn& progress,
                           const std::atomic<bool>* cancel) {
  UpdateReport report;
  // The log is copied into the database file in large steps, not every few
  // logs: each step waits for the disk.
  library.Db().Exec("PRAGMA wal_autocheckpoint = 16384");
  try {
    Updater(library, hook, progress, cancel, report).Run(cancel);
  } catch (const Cancelled&) {
    report.cancelled = true;
  }
  library.Db().Exec("PRAGMA wal_checkpoint(PASSIVE)");
  return report;
}

}  // namespace kest
