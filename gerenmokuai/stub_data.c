/* A library file whose SQLite names are not functions: data objects, and one
   absolute address below 0xFFFF. Calling any of them would crash; the
   database library must refuse to. */
unsigned char sqlite3_close[16];
unsigned char sqlite3_open_v2[16];
unsigned char sqlite3_prepare_v2[16];
unsigned char sqlite3_column_text[16];
unsigned char sqlite3_finalize[16];
unsigned char sqlite3_column_int[16];
unsigned char sqlite3_exec[16];
unsigned char sqlite3_free[16];
unsigned char sqlite3_wal_checkpoint_v2[16];
__asm__(".globl sqlite3_step\n.type sqlite3_step, @function\n.set sqlite3_step, 0x100\n");
