#include "library/Sqlite.h"

#include <system_error>

namespace kest {

SqlDb::SqlDb(const std::filesystem::path& file, Mode mode) : file_(file) {
  int flags = SQLITE_OPEN_NOMUTEX;
  if (mode == Mode::Write) {
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  } else {
    flags |= SQLITE_OPEN_READONLY;
  }
  const int rc = sqlite3_open_v2(file.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  sqlite3_extended_result_codes(db_, 1);
  // A second window or command writing at the same moment: wait a while
  // for its transaction (one log's) to end before saying so.
  sqlite3_busy_timeout(db_, 10000);
  // In WAL mode a commit need not wait for the disk: a crash loses at most
  // the last logs written, never the database.
  if (mode == Mode::Write) Exec("PRAGMA synchronous=NORMAL");
}

SqlDb::~SqlDb() { sqlite3_close_v2(db_); }

void SqlDb::Exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
}

void SqlDb::Fail(int rc) const {
  const std::string name = file_.string();
  switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      throw LibraryError("ライブラリのファイルが壊れています。削除すれば作り直せます: " + name);
    case SQLITE_FULL: throw LibraryError("ディスクがいっぱいで、ライブラリに書き込めません: " + name);
    case SQLITE_READONLY:
    case SQLITE_PERM: throw LibraryError("ライブラリのファイルに書き込めません: " + name);
    case SQLITE_CANTOPEN: throw LibraryError("ライブラリのファイルを開けません: " + name);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw LibraryError(
          "ライブラリは別のウィンドウかコマンドが使用中です。しばらくしてからやり直してください: " + name);
    case SQLITE_IOERR: throw LibraryError("ライブラリのファイルの読み書きでエラーが起きました: " + name);
    default:
      throw LibraryError("ライブラリのエラー (" +
                         std::string(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)) + "): " + name);
  }
}

SqlStatement::SqlStatement(SqlDb& db, const char* sql) : db_(db) {
  const int rc = sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &st_, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc);
}

SqlStatement::~SqlStatement() { sqlite3_finalize(st_); }

SqlStatement& SqlStatement::Bind(int i, std::int64_t v) {
  sqlite3_bind_int64(st_, i, v);
  return *this;
}

SqlStatement& SqlStatement::BindText(int i, std::string_view v) {
  sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
  return *this;
}

SqlStatement& SqlStatement::BindBlob(int i, std::string_view v) {
  sqlite3_bind_blob(st_, i, v.empty() ? "" : v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
  return *this;
}

SqlStatement& SqlStatement::BindNull(int i) {
  sqlite3_bind_null(st_, i);
  return *this;
}

bool SqlStatement::Step() {
  const int rc = sqlite3_step(st_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(st_);
  db_.Fail(rc);
}

void SqlStatement::Run() {
  Step();
  Reset();
}

void SqlStatement::Reset() {
  sqlite3_reset(st_);
  sqlite3_clear_bindings(st_);
}

std::string_view SqlStatement::Bytes(int col) const {
  const void* p = sqlite3_column_blob(st_, col);
  const int n = sqlite3_column_bytes(st_, col);
  return p ? std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string_view();
}

SqlTransaction::SqlTransaction(SqlDb& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

SqlTransaction::~SqlTransaction() {
  if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqlTransaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

}  // namespace kest
