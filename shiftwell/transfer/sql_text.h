// Building the statements of the transfer workers: quoting of values,
// placeholder filling, and the conversions of platform values (Unix times,
// amounts in cents). Pure functions, callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "port/local_time.h"

namespace shiftwell {

// The value with every single quote doubled, so that it stays one SQL
// literal between the statement's quotes whatever it holds.
std::string sql_quote(const std::string& value);

// The template with every occurrence of each placeholder replaced by its
// value, in one scan of the template: a value is never scanned again, so a
// value that looks like a placeholder is kept as it is. Where two
// placeholders could match at one place, the one given first wins.
std::string fill_placeholders(const std::string& text,
                              const std::vector<std::pair<std::string, std::string>>& pairs);

// Seconds after 1970-01-01 08:00:00 (the Unix time on the UTC+8 clock):
// the first ten characters read as atoi reads them (leading blanks, a sign,
// digits; 0 without any), clamped to the 32-bit range.
std::int64_t unix_to_local_time(const std::string& text);

// The date part formatted with the date picture, followed directly by the
// time part with the time picture (24 hours); an empty picture leaves its
// part out. Codes: yyyy yy MM M dd d HH H hh h mm m ss s; other characters
// are copied. Empty when the value has no calendar date.
std::string format_date_time(std::int64_t local_seconds, const std::string& date_picture,
                             const std::string& time_picture);

// A platform amount in cents as text: the leading number (atof), / 100,
// written with "%.13g" (1999 → 19.99, empty → 0).
std::string divide_by_100(const std::string& text);

}  // namespace shiftwell
