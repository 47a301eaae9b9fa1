#include "library/sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace nandell::sqlite {

bool IsDamage(int result) {
  const int primary = result & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

Statement::~Statement() {
  sqlite3_finalize(statement_);
}

Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = std::exchange(other.statement_, nullptr);
  }
  return *this;
}

int Statement::Prepare(sqlite3* db, const char* sql) {
  sqlite3_finalize(statement_);
  statement_ = nullptr;
  return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
}

void Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
}

void Statement::Bind(int index, std::string_view text) {
  sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
}

void Statement::BindNull(int index) {
  sqlite3_bind_null(statement_, index);
}

int Statement::Step() {
  if (statement_ == nullptr) return SQLITE_MISUSE;
  const int result = sqlite3_step(statement_);
  if (result != SQLITE_ROW) sqlite3_reset(statement_);
  return result;
}

int Statement::Run() {
  int result = Step();
  while (result == SQLITE_ROW) result = Step();
  return result;
}

void Statement::Reset() {
  sqlite3_reset(statement_);
}

int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

Database::~Database() {
  Close();
}

int Database::Open(const std::string& path, int flags) {
  Close();
  const int result = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (result != SQLITE_OK) Close();
  return result;
}

void Database::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

int Database::Execute(const char* sql) {
  if (db_ == nullptr) return SQLITE_MISUSE;
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

int64_t Database::QueryInt(const char* sql, int* result) {
  Statement statement;
  *result = statement.Prepare(db_, sql);
  if (*result != SQLITE_OK) return 0;
  *result = statement.Step();
  if (*result != SQLITE_ROW) return 0;
  const int64_t value = statement.Int(0);
  statement.Reset();
  *result = SQLITE_OK;
  return value;
}

std::string Database::ErrorMessage() const {
  return db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(SQLITE_CANTOPEN);
}

}  // namespace nandell::sqlite
