#include "shiftwell/transfer/sql_text.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace shiftwell {

std::string sql_quote(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 2);
  for (char c : value) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out;
}

std::string fill_placeholders(const std::string& text,
                              const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string out;
  out.reserve(text.size() + 256);
  std::size_t i = 0;
  while (i < text.size()) {
    const std::pair<std::string, std::string>* hit = nullptr;
    for (const auto& p : pairs) {
      if (!p.first.empty() && text.compare(i, p.first.size(), p.first) == 0) {
        hit = &p;
        break;
      }
    }
    if (hit) {
      out += hit->second;
      i += hit->first.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::int64_t unix_to_local_time(const std::string& text) {
  const std::string head = text.substr(0, 10);
  std::size_t i = 0;
  while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
  bool negative = false;
  if (i < head.size() && (head[i] == '+' || head[i] == '-')) negative = head[i++] == '-';
  std::int64_t value = 0;
  for (; i < head.size() && std::isdigit(static_cast<unsigned char>(head[i])); ++i)
    value = value * 10 + (head[i] - '0');
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return value + 8 * 3600;
}

namespace {

// Appends one picture; runs of a code letter select its width.
void format_picture(const std::string& picture, const port::LocalDateTime& t, bool time_part,
                    std::string& out) {
  char buf[16];
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    int value = -1, width = static_cast<int>(run >= 2 ? 2 : 1);
    if (!time_part && c == 'y') {
      value = run >= 3 ? t.year : t.year % 100;
      width = run >= 3 ? 4 : 2;
    } else if (!time_part && c == 'M') {
      value = t.month;
    } else if (!time_part && c == 'd') {
      value = t.day;
    } else if (time_part && (c == 'H' || c == 'h')) {
      value = t.hour;  // forced to 24 hours
    } else if (time_part && c == 'm') {
      value = t.minute;
    } else if (time_part && c == 's') {
      value = t.second;
    }
    if (value < 0) {
      out.append(run, c);
    } else {
      std::snprintf(buf, sizeof buf, "%0*d", width, value);
      out += buf;
    }
    i += run;
  }
}

}  // namespace

std::string format_date_time(std::int64_t local_seconds, const std::string& date_picture,
                             const std::string& time_picture) {
  port::LocalDateTime t;
  if (!port::calendar_from_seconds(local_seconds, t)) return {};
  std::string out;
  if (!date_picture.empty()) format_picture(date_picture, t, false, out);
  if (!time_picture.empty()) format_picture(time_picture, t, true, out);
  return out;
}

std::string divide_by_100(const std::string& text) {
  const double value = std::atof(text.c_str()) / 100.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.13g", value);
  return buf;
}

}  // namespace shiftwell
