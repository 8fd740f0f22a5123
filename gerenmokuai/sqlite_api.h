// The part of SQLite's programming interface that the database library calls,
// declared here because the library binds SQLite at run time and never
// includes its header: opaque handle types, the entry-point signatures and the
// result codes and flags in use. Plain declarations, usable from any thread.
#pragma once

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_backup;

namespace GeRenMoKuai::sqlite_api {

using CloseFn = int (*)(sqlite3* db);
using OpenV2Fn = int (*)(const char* filename, sqlite3** db, int flags, const char* vfs);
using PrepareV2Fn = int (*)(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** statement,
                            const char** tail);
using StepFn = int (*)(sqlite3_stmt* statement);
using ColumnTextFn = const unsigned char* (*)(sqlite3_stmt* statement, int column);
using FinalizeFn = int (*)(sqlite3_stmt* statement);
using ColumnIntFn = int (*)(sqlite3_stmt* statement, int column);
using ExecRowFn = int (*)(void* argument, int columns, char** values, char** names);
using ExecFn = int (*)(sqlite3* db, const char* sql, ExecRowFn row, void* argument, char** error_message);
using FreeFn = void (*)(void* memory);
using WalCheckpointV2Fn = int (*)(sqlite3* db, const char* database, int mode, int* log_frames,
                                  int* checkpointed_frames);
using LibversionFn = const char* (*)();
using BackupInitFn = sqlite3_backup* (*)(sqlite3* target, const char* target_name, sqlite3* source,
                                         const char* source_name);
using BackupStepFn = int (*)(sqlite3_backup* backup, int pages);
using BackupFinishFn = int (*)(sqlite3_backup* backup);
using SleepFn = int (*)(int milliseconds);

constexpr int kOk = 0;
constexpr int kBusy = 5;
constexpr int kLocked = 6;
constexpr int kMisuse = 21;
constexpr int kRow = 100;
constexpr int kDone = 101;

constexpr int kOpenReadWrite = 0x2;
constexpr int kOpenCreate = 0x4;
constexpr int kOpenNoMutex = 0x8000;

}  // namespace GeRenMoKuai::sqlite_api
