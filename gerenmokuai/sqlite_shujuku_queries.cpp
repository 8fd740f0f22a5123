// The counting and row queries and the schema helpers (Shiftwell's
// configuration only; a Dbwarden object answers false, 0 or "").
#include "gerenmokuai/sqlite_shujuku.h"

namespace GeRenMoKuai {

int MoKuai_class_sqliteShuJuKu::query_count(const std::string& table, const std::string& condition) {
  if (!shiftwell()) return 0;
  const std::uint64_t start = start_time();
  std::string sql = "SELECT COUNT(*) FROM " + table;
  if (!condition.empty()) sql += " WHERE " + condition;
  sqlite3* connection = acquire_connection();
  sqlite3_stmt* statement = calls_.prepare(connection, sql);
  if (!statement) {
    release_connection(connection);
    emit(4, "[sql][查询返回数量]:" + sql);
    return 0;
  }
  calls_.step(statement);
  const int count = calls_.column_int(statement, 0);
  calls_.finalize(statement);
  release_connection(connection);
  record_timing(start, sql, 0);
  return count;
}

int MoKuai_class_sqliteShuJuKu::query_rows(int column_count, const std::string& sql, Table& table) {
  if (!shiftwell()) return 0;
  const std::uint64_t start = start_time();
  table.clear();
  if (column_count < 1) return 0;
  sqlite3* connection = acquire_connection();
  sqlite3_stmt* statement = calls_.prepare(connection, sql);
  if (!statement) {
    release_connection(connection);
    emit(4, "[sql][查询返回数组]:" + sql);
    return 0;
  }
  while (calls_.step(statement) == sqlite_api::kRow) {
    std::vector<std::string> row;
    row.reserve(static_cast<std::size_t>(column_count));
    for (int i = 0; i < column_count; ++i) row.push_back(column_text(statement, i));
    table.push_back(std::move(row));
  }
  calls_.finalize(statement);
  release_connection(connection);
  record_timing(start, sql, 0);
  return static_cast<int>(table.size());
}

std::string MoKuai_class_sqliteShuJuKu::version() {
  if (!shiftwell()) return {};
  const char* text = calls_.libversion();
  return std::string("sqlite:") + (text ? text : "");
}

bool MoKuai_class_sqliteShuJuKu::clear_table(const std::string& table) {
  return shiftwell() && exec("DELETE FROM '" + table + "'");
}

bool MoKuai_class_sqliteShuJuKu::drop_table(const std::string& table) {
  return shiftwell() && exec("DROP TABLE  '" + table + "'");
}

bool MoKuai_class_sqliteShuJuKu::attach_database(const std::string& file, const std::string& alias) {
  return shiftwell() && exec("ATTACH DATABASE  '" + file + "' AS " + alias);
}

bool MoKuai_class_sqliteShuJuKu::drop_index(const std::string& index) {
  return shiftwell() && exec("DROP INDEX " + index);
}

bool MoKuai_class_sqliteShuJuKu::create_index(const std::string& table, const std::string& column,
                                              const std::string& index, int descending) {
  if (!shiftwell()) return false;
  const char* order = descending == 1 ? "DESC" : "ASC";
  return exec("CREATE INDEX '" + index + "' ON '" + table + "' ('" + column + "' " + order + ")");
}

bool MoKuai_class_sqliteShuJuKu::copy_table_rows(const std::string& target, const std::string& source) {
  return shiftwell() && exec("insert into " + target + " select * from " + source);
}

bool MoKuai_class_sqliteShuJuKu::rename_table(const std::string& table, const std::string& new_name) {
  return shiftwell() && exec("alter table " + table + " rename to " + new_name);
}

bool MoKuai_class_sqliteShuJuKu::table_exists(const std::string& table) {
  return shiftwell() && query_count("sqlite_master", "type='table' and tbl_name='" + table + "'") != 0;
}

bool MoKuai_class_sqliteShuJuKu::index_exists(const std::string& table, const std::string& index) {
  return shiftwell() && query_count("sqlite_master", "type='index'  AND tbl_name='" + table + "' AND name='" +
                                                         index + "' AND sql<>''") != 0;
}

int MoKuai_class_sqliteShuJuKu::index_count(const std::string& table) {
  if (!shiftwell()) return 0;
  return query_count("sqlite_master", "type='index'  AND tbl_name='" + table + "' AND sql<>''");
}

bool MoKuai_class_sqliteShuJuKu::view_exists(const std::string& view) {
  return shiftwell() && query_count("sqlite_master", "type='view' and name='" + view + "'") != 0;
}

bool MoKuai_class_sqliteShuJuKu::column_exists(const std::string& table, const std::string& column) {
  if (!shiftwell()) return false;
  Table columns;
  query_rows(2, "pragma table_info(" + table + ")", columns);
  for (const auto& row : columns) {
    if (row[1] == column) return true;
  }
  return false;
}

}  // namespace GeRenMoKuai
