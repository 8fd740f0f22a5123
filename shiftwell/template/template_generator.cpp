// Build tool: turns schema.sql into the template database template.db that the
// program embeds. Usage: template_generator <schema.sql> <template.db>.
// Single-threaded; run by the build whenever the schema or this tool changes.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

bool fail(const std::string& what) {
  std::fprintf(stderr, "template_generator: %s\n", what.c_str());
  return false;
}

bool read_text(const fs::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void remove_with_companions(const fs::path& db) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(db.string() + suffix, ignored);
}

bool exec(sqlite3* db, const std::string& sql, const char* what) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  const std::string reason = message ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return fail(std::string(what) + ": " + reason);
}

bool build(const std::string& schema, const fs::path& out) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(out.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    const std::string reason = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return fail("cannot create " + out.string() + ": " + reason);
  }
  // The schema carries the file settings; synchronous only speeds up this run.
  // VACUUM drops the free pages that building the schema leaves behind, so the
  // embedded image stays compact.
  const bool ok = exec(db, "PRAGMA synchronous = OFF", "setting up") &&
                  exec(db, schema, "running the schema") && exec(db, "VACUUM", "vacuuming");
  // Closing the last connection folds the write-ahead log into the file and
  // removes it, leaving WAL mode recorded in the header.
  if (sqlite3_close(db) != SQLITE_OK) return fail("cannot close " + out.string());
  return ok;
}

// The header must say WAL (file format versions 2/2 at offsets 18 and 19), and
// nothing may be left in a log beside the file.
bool check(const fs::path& out) {
  std::ifstream in(out, std::ios::binary);
  char header[100] = {};
  if (!in.read(header, sizeof header)) return fail("cannot read back " + out.string());
  if (header[18] != 2 || header[19] != 2) return fail("the header does not record WAL journal mode");
  for (const char* suffix : {"-wal", "-shm"})
    if (fs::exists(out.string() + suffix)) return fail(out.string() + suffix + " was left behind");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: template_generator <schema.sql> <template.db>\n");
    return 2;
  }
  const fs::path schema_path = argv[1];
  const fs::path out = argv[2];
  std::string schema;
  if (!read_text(schema_path, schema)) {
    fail("cannot read " + schema_path.string());
    return 1;
  }

  // Build beside the target and rename at the end, so a failed run never
  // leaves a half-made template.db that the build would take as up to date.
  const fs::path temp = out.string() + ".building";
  remove_with_companions(temp);
  if (!build(schema, temp) || !check(temp)) {
    remove_with_companions(temp);
    return 1;
  }
  std::error_code error;
  fs::rename(temp, out, error);
  if (error) {
    remove_with_companions(temp);
    fail("cannot rename to " + out.string() + ": " + error.message());
    return 1;
  }
  return 0;
}
