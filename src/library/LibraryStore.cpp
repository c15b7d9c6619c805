#include "library/LibraryStore.h"

#include <cstdlib>

#include "library/FtsTokenizer.h"

namespace kest {
namespace {

constexpr int kSchema = 1;

constexpr const char* kCreate = R"(
CREATE TABLE folders(path TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE logs(
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL,
  member TEXT NOT NULL DEFAULT '',
  size INTEGER NOT NULL,
  mtime INTEGER NOT NULL,
  inode INTEGER NOT NULL,
  read_at INTEGER NOT NULL,
  native INTEGER NOT NULL,
  title BLOB NOT NULL,
  remarks INTEGER NOT NULL,
  first_day INTEGER,
  last_day INTEGER,
  first_remark INTEGER NOT NULL,
  UNIQUE(path, member));
CREATE TABLE remarks(
  id INTEGER PRIMARY KEY,
  log INTEGER NOT NULL,
  start INTEGER NOT NULL,
  length INTEGER NOT NULL,
  number INTEGER NOT NULL,
  day INTEGER,
  poster BLOB NOT NULL,
  speaker BLOB NOT NULL,
  title BLOB NOT NULL);
CREATE INDEX remarks_day ON remarks(day);
CREATE VIRTUAL TABLE remark_text USING fts5(text, content='', columnsize=0, detail=none, tokenize='kest');
INSERT INTO remark_text(remark_text, rank) VALUES('hashsize', 67108864);
-- Segments of the index are merged once 16 of a size have gathered, not 4:
-- a first update of many logs spends much less time merging what it has just
-- written, and a search reads hardly more.
INSERT INTO remark_text(remark_text, rank) VALUES('automerge', 16);
CREATE TABLE counts(name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
INSERT INTO counts VALUES('dead', 0);
INSERT INTO counts VALUES('next_remark', 1);
PRAGMA user_version = 1;
)";

std::int64_t One(SqlDb& db, const char* sql) {
  SqlStatement st(db, sql);
  return st.Step() ? st.Int(0) : 0;
}

}  // namespace

std::filesystem::path DefaultLibraryFile() {
  if (const char* named = std::getenv("KEST_LIBRARY"); named && *named) return named;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    return std::filesystem::path(xdg) / "kest32" / "library.db";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "share" / "kest32" / "library.db";
}

std::filesystem::path LibraryFolderPath(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(folder, ec).lexically_normal();
  std::string s = p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool PathInFolder(const std::string& path, const std::filesystem::path& folder) {
  const std::string f = folder.string();
  if (f == "/") return !path.empty() && path[0] == '/';
  return path.size() >= f.size() && path.compare(0, f.size(), f) == 0 &&
         (path.size() == f.size() || path[f.size()] == '/');
}

Library::Library(const std::filesystem::path& file, SqlDb::Mode mode)
    : db_(
          [&]() -> const std::filesystem::path& {
            std::error_code ec;
            if (mode == SqlDb::Mode::Read && !std::filesystem::exists(file, ec)) {
              throw LibraryError("ライブラリはまだ空です (フォルダを追加してください): " + file.string());
            }
            return file;
          }(),
          mode) {
  RegisterTokenizer(db_);
  const std::int64_t version = One(db_, "PRAGMA user_version");
  if (version == kSchema) return;
  if (version > kSchema) {
    throw LibraryError("このライブラリは新しい版の Kest32 で作られています: " + file.string());
  }
  if (One(db_, "SELECT count(*) FROM sqlite_schema") != 0) {
    throw LibraryError("ライブラリのファイルではありません: " + file.string());
  }
  if (mode == SqlDb::Mode::Read) {
    throw LibraryError("ライブラリはまだ空です (フォルダを追加してください): " + file.string());
  }
  db_.Exec("PRAGMA journal_mode=WAL");
  SqlTransaction t(db_);
  db_.Exec(kCreate);
  t.Commit();
}

std::vector<std::filesystem::path> Library::Folders() {
  std::vector<std::filesystem::path> folders;
  SqlStatement st(db_, "SELECT path FROM folders ORDER BY path");
  while (st.Step()) folders.emplace_back(std::string(st.Bytes(0)));
  return folders;
}

bool Library::AddFolder(const std::filesystem::path& folder) {
  SqlTransaction t(db_);
  SqlStatement st(db_, "INSERT OR IGNORE INTO folders VALUES(?1)");
  const std::string path = LibraryFolderPath(folder).string();
  st.BindText(1, path).Run();
  const bool added = sqlite3_changes(db_.Handle()) > 0;
  t.Commit();
  return added;
}

std::size_t Library::RemoveFolders(const std::vector<std::filesystem::path>& folders, const DropFn& dropping) {
  SqlTransaction t(db_);
  std::size_t removed = 0;
  SqlStatement del(db_, "DELETE FROM folders WHERE path = ?1");
  for (const std::filesystem::path& folder : folders) {
    const std::string path = LibraryFolderPath(folder).string();
    del.BindText(1, path).Run();
    removed += static_cast<std::size_t>(sqlite3_changes(db_.Handle()));
  }
  if (removed == 0) return 0;
  const std::vector<std::filesystem::path> left = Folders();
  std::vector<LibraryLog> gone;
  for (LibraryLog& log : Files()) {
    bool covered = false;
    for (const std::filesystem::path& f : left) covered = covered || PathInFolder(log.path, f);
    if (!covered) gone.push_back(std::move(log));
  }
  for (std::size_t i = 0; i < gone.size(); ++i) {
    if (dropping) dropping(gone[i], i, gone.size());
    DropLog(gone[i].id);
  }
  t.Commit();
  return removed;
}

std::vector<LibraryLog> Library::Query(const char* where) {
  std::string sql =
      "SELECT id, path, member, size, mtime, inode, read_at, native, title, remarks, first_day, last_day, "
      "first_remark FROM logs ";
  sql += where;
  sql += " ORDER BY path, member";
  SqlStatement st(db_, sql.c_str());
  std::vector<LibraryLog> logs;
  while (st.Step()) {
    LibraryLog l;
    l.id = st.Int(0);
    l.path = st.Bytes(1);
    l.member = st.Bytes(2);
    l.stamp = {st.Int(3), st.Int(4), st.Int(5)};
    l.readAtNs = st.Int(6);
    l.native = st.Int(7) != 0;
    l.title = st.Bytes(8);
    l.remarks = st.Int(9);
    if (!st.IsNull(10)) l.firstDay = static_cast<Day>(st.Int(10));
    if (!st.IsNull(11)) l.lastDay = static_cast<Day>(st.Int(11));
    l.firstRemark = st.Int(12);
    logs.push_back(std::move(l));
  }
  return logs;
}

std::vector<LibraryLog> Library::Logs() { return Query("WHERE remarks > 0"); }

std::vector<LibraryLog> Library::Files() { return Query(""); }

std::int64_t Library::RemarkCount() { return One(db_, "SELECT count(*) FROM remarks"); }

std::int64_t Library::DeadEntries() { return One(db_, "SELECT value FROM counts WHERE name = 'dead'"); }

void Library::DropLog(std::int64_t id) {
  // A log's remarks have the ids from its first on, one after another.
  SqlStatement del(db_,
                   "DELETE FROM remarks WHERE id BETWEEN (SELECT first_remark FROM logs WHERE id = ?1) "
                   "AND (SELECT first_remark + remarks - 1 FROM logs WHERE id = ?1)");
  del.Bind(1, id).Run();
  const std::int64_t gone = sqlite3_changes(db_.Handle());
  SqlStatement dead(db_, "UPDATE counts SET value = value + ?1 WHERE name = 'dead'");
  dead.Bind(1, gone).Run();
  SqlStatement log(db_, "DELETE FROM logs WHERE id = ?1");
  log.Bind(1, id).Run();
}

}  // namespace kest
