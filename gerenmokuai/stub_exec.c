/* A SQLite library file that exports only sqlite3_open_v2, sqlite3_close,
   sqlite3_exec and sqlite3_free (see stub_exec.map): SQLite itself is linked
   in from its static archive, every other name stays hidden. */
int sqlstub_exec_marker(void) { return 1; }
