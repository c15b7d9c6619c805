// A thin hold on SQLite for the library: a connection and its prepared
// statements as objects that close themselves, and every failure turned into
// a LibraryError that tells the user in Japanese what went wrong.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kest {

// A failure of the library; the message is Japanese (UTF-8).
class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SqlDb {
 public:
  enum class Mode { Read, Write };
  // Opens the database file; Write creates it (and its folder) when missing.
  // Throws LibraryError when it cannot be opened.
  SqlDb(const std::filesystem::path& file, Mode mode);
  ~SqlDb();
  SqlDb(const SqlDb&) = delete;
  SqlDb& operator=(const SqlDb&) = delete;

  sqlite3* Handle() const { return db_; }
  const std::filesystem::path& File() const { return file_; }

  // Runs statements that return no rows.
  void Exec(const char* sql);
  // Throws the LibraryError for the result code `rc` of an operation.
  [[noreturn]] void Fail(int rc) const;

 private:
  std::filesystem::path file_;
  sqlite3* db_ = nullptr;
};

class SqlStatement {
 public:
  SqlStatement(SqlDb& db, const char* sql);
  ~SqlStatement();
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  // Parameters count from 1. Texts and blobs are copied by SQLite only when
  // asked: the bytes must stay until the statement has run.
  SqlStatement& Bind(int i, std::int64_t v);
  SqlStatement& BindText(int i, std::string_view v);
  SqlStatement& BindBlob(int i, std::string_view v);
  SqlStatement& BindNull(int i);

  // True while there is a row; false when done. Throws on failure.
  bool Step();
  // Step once for a statement that returns no rows, then Reset.
  void Run();
  void Reset();

  std::int64_t Int(int col) const { return sqlite3_column_int64(st_, col); }
  bool IsNull(int col) const { return sqlite3_column_type(st_, col) == SQLITE_NULL; }
  // Text or blob bytes of a column; valid until the next Step or Reset.
  std::string_view Bytes(int col) const;

 private:
  SqlDb& db_;
  sqlite3_stmt* st_ = nullptr;
};

// A transaction that rolls back unless committed.
class SqlTransaction {
 public:
  // BEGIN IMMEDIATE: the write lock is taken at once.
  explicit SqlTransaction(SqlDb& db);
  ~SqlTransaction();
  SqlTransaction(const SqlTransaction&) = delete;
  SqlTransaction& operator=(const SqlTransaction&) = delete;
  void Commit();

 private:
  SqlDb& db_;
  bool open_ = true;
};

}  // namespace kest
