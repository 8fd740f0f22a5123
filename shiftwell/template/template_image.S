/* The generated template.db, carried as read-only data of the program.
   TEMPLATE_DB_PATH is the quoted path of that file in the build tree. */
  .section .rodata.shiftwell_template, "a", @progbits
  .balign 64
  .globl shiftwell_template_begin
  .hidden shiftwell_template_begin
  .type shiftwell_template_begin, @object
shiftwell_template_begin:
  .incbin TEMPLATE_DB_PATH
  .globl shiftwell_template_end
  .hidden shiftwell_template_end
shiftwell_template_end:
  .size shiftwell_template_begin, shiftwell_template_end - shiftwell_template_begin

  .section .note.GNU-stack, "", @progbits
