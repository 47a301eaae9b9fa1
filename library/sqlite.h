#pragma once

// A thin layer over SQLite's C interface: a connection and its prepared statements as objects
// that close themselves, and results kept as SQLite's own codes.

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace nandell::sqlite {

/// True when `result` (a SQLite result code, extended or not) says the file is damaged or is no
/// database at all.
bool IsDamage(int result);

/// A prepared statement of one connection, reused: bound, stepped, reset.
class Statement {
 public:
  Statement() = default;
  /// Finalizes the statement.
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  /// Prepares `sql` on `db`; returns SQLITE_OK or the error (the statement stays empty).
  int Prepare(sqlite3* db, const char* sql);
  /// Binds parameter `index` (from 1) to an integer, a text (copied), or NULL.
  void Bind(int index, int64_t value);
  void Bind(int index, std::string_view text);
  void BindNull(int index);
  /// The next row: SQLITE_ROW, SQLITE_DONE or an error; after SQLITE_DONE or an error the
  /// statement is reset (its bindings kept) for the next use.
  int Step();
  /// Steps to the end, for a statement that returns no rows: SQLITE_DONE or the error.
  int Run();
  /// Resets the statement for the next use, its bindings kept.
  void Reset();
  /// Column `column` (from 0) of the current row.
  int64_t Int(int column) const;
  std::string Text(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
};

/// One connection to a database file.
class Database {
 public:
  Database() = default;
  /// Closes the connection.
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  /// Opens `path` with SQLite's open `flags` (an empty path: a private temporary database that
  /// goes when it is closed). Returns SQLITE_OK or the error; the connection is closed on error.
  int Open(const std::string& path, int flags);
  /// Closes the connection (every statement prepared on it must be gone).
  void Close();
  /// Runs `sql` (one or more statements without results). Returns SQLITE_OK or the error.
  int Execute(const char* sql);
  /// The first column of the first row of `sql` as an integer; `result` receives SQLITE_OK or
  /// the error.
  int64_t QueryInt(const char* sql, int* result);
  /// The connection, for preparing statements; null when closed.
  sqlite3* Handle() const { return db_; }
  /// The last error's text of the connection ("database disk image is malformed").
  std::string ErrorMessage() const;

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace nandell::sqlite
