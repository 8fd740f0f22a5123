/* The C interface of pelljson.so, the JSON library that Shiftwell loads by name
 * and addresses by JSON Pointer (RFC 6901). Any thread may call any entry; each
 * document and buffer is meant for one thread at a time, while different
 * threads work on their own documents and buffers at once.
 *
 * Handles are int32_t values > 0 naming a document, a text buffer or a value
 * inside a document. An unknown, freed or wrong-kind handle is refused: the
 * entry returns 0, 0.0 or null and changes nothing. Handles are not reused
 * before 2^31 - 1 others have been handed out.
 *
 * A value handle (from pointer_get_value) names a place: its document and the
 * pointer that led there. It is resolved afresh at every use, so it reads what
 * lies at that place now, and nothing once the place is gone; freeing its
 * document makes it stale. Wherever a handle argument is taken, a document
 * handle addresses from the document's root and a value handle from its place.
 *
 * Texts in and out are NUL-terminated UTF-8. Returned texts belong to the
 * library; a string holding U+0000 comes back cut at that character.
 *
 * Parsing: strict JSON (RFC 8259), one value, numbers at full precision. The
 * parser is iterative, and a text nested deeper than PELLJSON_MAX_DEPTH arrays
 * and objects is refused, so no text can exhaust the stack of a later read or
 * write. Encoding is not a reason to refuse a text: each byte that is not part
 * of a well-formed UTF-8 sequence is replaced with U+FFFD before parsing, so a
 * stray byte in one string does not lose the rest of the document and every
 * text the library returns is well-formed UTF-8 (an escaped lone surrogate,
 * "\udc00", is kept in its 3-byte form). */
#ifndef PELLJSON_PELLJSON_H
#define PELLJSON_PELLJSON_H

#include <stdint.h>

#if defined(_WIN32)
#define PELLJSON_API __declspec(dllexport)
#else
#define PELLJSON_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Deepest nesting of arrays and objects that a document may reach, by parsing
 * or by writing. */
#define PELLJSON_MAX_DEPTH 512

/* Results of pointer_get_type. */
#define PELLJSON_TYPE_NONE 0 /* handle refused, pointer invalid or unresolved */
#define PELLJSON_TYPE_NULL 1
#define PELLJSON_TYPE_BOOL 2
#define PELLJSON_TYPE_INT 3    /* a number that fits int64_t or uint64_t */
#define PELLJSON_TYPE_DOUBLE 4 /* any other number */
#define PELLJSON_TYPE_STRING 5
#define PELLJSON_TYPE_ARRAY 6
#define PELLJSON_TYPE_OBJECT 7

/* Document handle, or 0 when json is null, is not one JSON value, nests too
 * deep or memory runs out. */
PELLJSON_API int32_t parse(const char* json);
/* A new empty text buffer. */
PELLJSON_API int32_t new_buffer(void);
PELLJSON_API void delete_buffer(int32_t buffer);
/* Frees the document and makes its value handles stale. */
PELLJSON_API void free_(int32_t document);

/* Renders the value at pointer into buffer and returns the buffer's text,
 * valid until the buffer is written again or deleted:
 *   string        its characters alone, without quotes or escapes;
 *   number        an integer (a literal without fraction or exponent that
 *                 fits int64_t or uint64_t, or one written by pointer_set_int)
 *                 as its digits ("1250", "-7"); any other number in the
 *                 shortest form that reads back to the same double, a whole
 *                 value with ".0" ("12.5", "1e-7", "7.0");
 *   true/false/null  "true", "false", "null";
 *   array/object  compact JSON text (the empty pointer: the whole document).
 * Null, with the buffer untouched, when the pointer is invalid or does not
 * resolve or a handle is refused. */
PELLJSON_API const char* get_pointer_string(int32_t handle, int32_t buffer, const char* pointer);

/* Value handle of the value at pointer; 0 when it does not resolve. Asking
 * again for the same place gives the same handle. */
PELLJSON_API int32_t pointer_get_value(int32_t handle, const char* pointer);
/* 1 for true; 0 for false, for any other type, and when unresolved. */
PELLJSON_API int32_t pointer_get_bool(int32_t handle, const char* pointer);
/* Any number as double; 0.0 for other types and when unresolved. */
PELLJSON_API double pointer_get_double(int32_t handle, const char* pointer);
/* The string value, valid until its document changes or is freed; null for
 * any other type (a number too) and when unresolved. */
PELLJSON_API const char* pointer_get_string(int32_t handle, const char* pointer);
/* Name of member index (from 0, in document order) of the object at handle,
 * valid until its document changes or is freed; null when handle is not an
 * object or index is out of range. */
PELLJSON_API const char* object_get_key(int32_t handle, int32_t index);
/* A number whose value is a whole number in range of the result type (12,
 * -3, also 7.0); 0 for any other number (12.5, 2^63), for other types (also
 * a string of digits) and when unresolved. */
PELLJSON_API int64_t pointer_get_int64(int32_t handle, const char* pointer);
PELLJSON_API int32_t pointer_get_int(int32_t handle, const char* pointer);
/* One of PELLJSON_TYPE_*. */
PELLJSON_API int32_t pointer_get_type(int32_t handle, const char* pointer);
/* Elements of an array or members of an object; 0 for other types and when
 * unresolved. */
PELLJSON_API int32_t pointer_get_count(int32_t handle, const char* pointer);
/* 1 when the value at pointer was removed from its array or object; 0 when
 * it does not resolve, for the empty pointer and when a handle is refused. */
PELLJSON_API int32_t pointer_erase_path(int32_t handle, const char* pointer);
/* 1 when the pointer resolves, else 0. */
PELLJSON_API int32_t pointer_is_exist(int32_t handle, const char* pointer);

/* Writes: the value is stored at pointer, replacing what is there, and the
 * path is created as needed: a missing member is added, an array index past
 * the end pads the array with nulls (at most 65536 of them), "-" appends to an
 * array, and a null on the way becomes an object or array. 1 on success; 0,
 * with the document unchanged, when a handle is refused, the pointer is
 * invalid, a string, number or boolean stands on the way (or an array where
 * the pointer names a member), the padding limit would be passed, the result
 * would nest deeper than PELLJSON_MAX_DEPTH, or the value is not accepted (a
 * text that is not UTF-8, a double that is NaN or infinite). Writing never
 * overwrites anything but the value at pointer. The second argument is
 * reserved: pass 0. */
/* Copies the value of value_handle (a document or value handle, which may
 * belong to the target document) to pointer. */
PELLJSON_API int32_t pointer_set_object(int32_t handle, int32_t reserved, const char* pointer,
                                        int32_t value_handle);
PELLJSON_API int32_t pointer_set_string(int32_t handle, int32_t reserved, const char* pointer,
                                        const char* value);
/* Stores true for any nonzero value. */
PELLJSON_API int32_t pointer_set_bool(int32_t handle, int32_t reserved, const char* pointer, int32_t value);
PELLJSON_API int32_t pointer_set_int(int32_t handle, int32_t reserved, const char* pointer, int32_t value);
PELLJSON_API int32_t pointer_set_double(int32_t handle, int32_t reserved, const char* pointer, double value);

#ifdef __cplusplus
}
#endif

#endif /* PELLJSON_PELLJSON_H */
