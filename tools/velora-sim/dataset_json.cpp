#include "tools/velora-sim/dataset_json.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>

namespace velora_sim {

namespace {

using Value = rapidjson::Value;
using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// Numbers are parsed as strings so that their literal survives; a number
// field therefore arrives as a string and is checked to be a number literal.
constexpr unsigned kParseFlags = rapidjson::kParseNumbersAsStringsFlag;

std::string text_of(const Value& v) { return std::string(v.GetString(), v.GetStringLength()); }

bool take_string(const Value& v, std::string& out) {
  if (!v.IsString()) return false;
  out = text_of(v);
  return true;
}

bool take_int64(const Value& v, std::int64_t& out) {
  if (!v.IsString()) return false;
  const char* begin = v.GetString();
  const char* end = begin + v.GetStringLength();
  const auto [ptr, ec] = std::from_chars(begin, end, out);
  return ec == std::errc() && ptr == end && begin != end;
}

bool take_int32(const Value& v, std::int32_t& out) {
  std::int64_t wide = 0;
  if (!take_int64(v, wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
  out = static_cast<std::int32_t>(wide);
  return true;
}

bool take_number(const Value& v, std::string& out) {
  if (!v.IsString() || !is_json_number(std::string_view(v.GetString(), v.GetStringLength()))) return false;
  out = text_of(v);
  return true;
}

struct Field {
  const char* name;
  const char* expected;  // for the error text
  std::function<bool(const Value&)> take;
  bool* seen = nullptr;  // set when the field is present
};

// Applies the table to every member of obj; unknown and ill-typed fields are faults.
bool read_object(const Value& obj, const std::string& where, std::initializer_list<Field> fields,
                 std::string& error) {
  if (!obj.IsObject()) {
    error = where + ": must be an object";
    return false;
  }
  for (auto it = obj.MemberBegin(); it != obj.MemberEnd(); ++it) {
    const std::string key = text_of(it->name);
    const Field* field = nullptr;
    for (const auto& f : fields) {
      if (key == f.name) field = &f;
    }
    if (!field) {
      error = where + ": unknown field \"" + key + "\"";
      return false;
    }
    if (!field->take(it->value)) {
      error = where + ": field \"" + key + "\" must be " + field->expected;
      return false;
    }
    if (field->seen) *field->seen = true;
  }
  return true;
}

Field string_field(const char* name, std::string& out, bool* seen = nullptr) {
  return {name, "a string", [&out](const Value& v) { return take_string(v, out); }, seen};
}
Field number_field(const char* name, std::string& out) {
  return {name, "a number", [&out](const Value& v) { return take_number(v, out); }};
}

bool read_member(const Value& obj, const std::string& where, Member& m, std::string& error) {
  bool has_uid = false;
  const bool ok =
      read_object(obj, where,
                  {{"uid", "an integer", [&](const Value& v) { return take_int64(v, m.uid); }, &has_uid},
                   string_field("wxid", m.wxid),
                   string_field("nickname", m.nickname),
                   string_field("balance", m.balance),
                   string_field("withdraw_amount", m.withdraw_amount),
                   {"finished_orders_number", "a 32-bit integer",
                    [&](const Value& v) { return take_int32(v, m.finished_orders_number); }},
                   {"upline_uid", "an integer or null",
                    [&](const Value& v) {
                      if (v.IsNull()) {
                        m.upline_uid.reset();
                        return true;
                      }
                      std::int64_t uid = 0;
                      if (!take_int64(v, uid)) return false;
                      m.upline_uid = uid;
                      return true;
                    }}},
                  error);
  if (ok && !has_uid) {
    error = where + ": field \"uid\" is missing";
    return false;
  }
  return ok;
}

bool read_order(const Value& obj, Platform platform, const std::string& where, Order& o, std::string& error) {
  bool has_main = false, has_vice = false;
  const bool ok =
      read_object(obj, where,
                  {string_field("order_main", o.order_main, &has_main),
                   string_field("order_vice", o.order_vice, &has_vice),
                   string_field("item_id", o.item_id),
                   string_field("title", o.title),
                   string_field("picture", o.picture),
                   string_field("category", o.category),
                   string_field("create_time", o.create_time),
                   string_field("settle_time", o.settle_time),
                   {"quantity", "an integer", [&](const Value& v) { return take_int64(v, o.quantity); }},
                   number_field("pay_amount", o.pay_amount),
                   number_field("commission", o.commission),
                   number_field("fl_user", o.fl_user),
                   number_field("fl_agent", o.fl_agent),
                   string_field("wxid", o.wxid),
                   string_field("nickname", o.nickname)},
                  error);
  if (!ok) return false;
  if (!has_main) {
    error = where + ": field \"order_main\" is missing";
    return false;
  }
  // These platforms carry a single field for both numbers.
  if (!has_vice && platform == Platform::pinduoduo) o.order_vice = o.order_main;
  if (!has_vice && platform == Platform::douyin) o.order_vice = o.item_id;
  return true;
}

bool read_withdrawal(const Value& obj, const std::string& where, Withdrawal& w, std::string& error) {
  bool has_hash = false;
  const bool ok =
      read_object(obj, where,
                  {string_field("packet_hash", w.packet_hash, &has_hash),
                   string_field("createdt", w.createdt),
                   string_field("changedt", w.changedt),
                   string_field("money", w.money),
                   {"userid", "an integer", [&](const Value& v) { return take_int64(v, w.userid); }}},
                  error);
  if (ok && !has_hash) {
    error = where + ": field \"packet_hash\" is missing";
    return false;
  }
  return ok;
}

template <typename Row, typename ReadRow>
bool read_array(const Value& v, const std::string& name, std::vector<Row>& out, ReadRow read_row,
                std::string& error) {
  if (!v.IsArray()) {
    error = name + ": must be an array";
    return false;
  }
  out.clear();
  out.reserve(v.Size());
  for (rapidjson::SizeType i = 0; i < v.Size(); ++i) {
    Row row;
    if (!read_row(v[i], name + "[" + std::to_string(i) + "]", row, error)) return false;
    out.push_back(std::move(row));
  }
  return true;
}

void put(JsonWriter& w, const char* key, const std::string& value) {
  w.Key(key);
  w.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}
void put_number(JsonWriter& w, const char* key, const std::string& literal) {
  w.Key(key);
  w.RawValue(literal.data(), literal.size(), rapidjson::kNumberType);
}

void write_member(JsonWriter& w, const Member& m) {
  w.StartObject();
  w.Key("uid");
  w.Int64(m.uid);
  put(w, "wxid", m.wxid);
  put(w, "nickname", m.nickname);
  put(w, "balance", m.balance);
  put(w, "withdraw_amount", m.withdraw_amount);
  w.Key("finished_orders_number");
  w.Int(m.finished_orders_number);
  w.Key("upline_uid");
  if (m.upline_uid) {
    w.Int64(*m.upline_uid);
  } else {
    w.Null();
  }
  w.EndObject();
}

void write_order(JsonWriter& w, const Order& o) {
  w.StartObject();
  put(w, "order_main", o.order_main);
  put(w, "order_vice", o.order_vice);
  put(w, "item_id", o.item_id);
  put(w, "title", o.title);
  put(w, "picture", o.picture);
  put(w, "category", o.category);
  put(w, "create_time", o.create_time);
  put(w, "settle_time", o.settle_time);
  w.Key("quantity");
  w.Int64(o.quantity);
  put_number(w, "pay_amount", o.pay_amount);
  put_number(w, "commission", o.commission);
  put_number(w, "fl_user", o.fl_user);
  put_number(w, "fl_agent", o.fl_agent);
  put(w, "wxid", o.wxid);
  put(w, "nickname", o.nickname);
  w.EndObject();
}

void write_withdrawal(JsonWriter& w, const Withdrawal& x) {
  w.StartObject();
  put(w, "packet_hash", x.packet_hash);
  put(w, "createdt", x.createdt);
  put(w, "changedt", x.changedt);
  put(w, "money", x.money);
  w.Key("userid");
  w.Int64(x.userid);
  w.EndObject();
}

std::string quoted(std::string_view text) {
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  return buffer.GetString();
}

// Writes "[\n row,\n row\n]" with each row rendered by write_row.
template <typename WriteRow>
void write_rows(std::ostream& out, std::size_t count, WriteRow write_row) {
  out << "[";
  rapidjson::StringBuffer buffer;
  for (std::size_t i = 0; i < count; ++i) {
    buffer.Clear();
    JsonWriter w(buffer);
    write_row(w, i);
    out << (i ? ",\n    " : "\n    ") << buffer.GetString();
  }
  out << (count ? "\n  ]" : "]");
}

}  // namespace

bool parse_dataset_json(std::string_view text, DatasetRows& rows, std::string& error) {
  rapidjson::Document doc;
  doc.Parse<kParseFlags>(text.data(), text.size());
  if (doc.HasParseError()) {
    error = std::string("not JSON: ") + rapidjson::GetParseError_En(doc.GetParseError()) + " at byte " +
            std::to_string(doc.GetErrorOffset());
    return false;
  }
  if (!doc.IsObject()) {
    error = "the dataset must be a JSON object";
    return false;
  }
  rows = DatasetRows{};
  for (auto it = doc.MemberBegin(); it != doc.MemberEnd(); ++it) {
    const std::string key = text_of(it->name);
    const Value& v = it->value;
    if (key == "format") {
      if (!v.IsString() || text_of(v) != kDatasetFormat) {
        error = "format: must be \"" + std::string(kDatasetFormat) + "\"";
        return false;
      }
    } else if (key == "sub_id" || key == "token") {
      if (!take_string(v, key == "sub_id" ? rows.sub_id : rows.token)) {
        error = key + ": must be a string";
        return false;
      }
    } else if (key == "members" || key == "outside_members") {
      if (!read_array(v, key, key == "members" ? rows.members : rows.outside_members, read_member, error))
        return false;
    } else if (key == "orders") {
      if (!v.IsObject()) {
        error = "orders: must be an object with one array per platform";
        return false;
      }
      for (auto p = v.MemberBegin(); p != v.MemberEnd(); ++p) {
        const std::string platform_name = text_of(p->name);
        const auto platform = platform_from_key(platform_name);
        if (!platform) {
          error = "orders: unknown platform \"" + platform_name + "\"";
          return false;
        }
        const auto read_row = [platform](const Value& obj, const std::string& where, Order& o,
                                         std::string& err) {
          return read_order(obj, *platform, where, o, err);
        };
        if (!read_array(p->value, "orders." + platform_name, rows.orders_of(*platform), read_row, error))
          return false;
      }
    } else if (key == "withdrawals") {
      if (!read_array(v, key, rows.withdrawals, read_withdrawal, error)) return false;
    } else {
      error = "unknown top-level field \"" + key + "\"";
      return false;
    }
  }
  error = validate_rows(rows);
  return error.empty();
}

bool load_dataset_file(const std::string& path, DatasetRows& rows, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open dataset file " + path;
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    error = "cannot read dataset file " + path;
    return false;
  }
  if (!parse_dataset_json(content.str(), rows, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

void write_dataset_json(const Dataset& d, std::ostream& out) {
  out << "{\n  \"format\": " << quoted(kDatasetFormat) << ",\n  \"sub_id\": " << quoted(d.sub_id())
      << ",\n  \"token\": " << quoted(d.token()) << ",\n  \"members\": ";
  write_rows(out, d.member_count(), [&](JsonWriter& w, std::size_t i) { write_member(w, d.member(i)); });
  out << ",\n  \"outside_members\": ";
  write_rows(out, d.outside_member_count(),
             [&](JsonWriter& w, std::size_t i) { write_member(w, d.outside_member(i)); });
  out << ",\n  \"orders\": {";
  for (std::size_t k = 0; k < kPlatformCount; ++k) {
    const Platform p = kPlatforms[k];
    out << (k ? ",\n    " : "\n    ") << quoted(platform_key(p)) << ": ";
    write_rows(out, d.order_count(p), [&](JsonWriter& w, std::size_t i) { write_order(w, d.order(p, i)); });
  }
  out << "\n  },\n  \"withdrawals\": ";
  write_rows(out, d.withdrawal_count(),
             [&](JsonWriter& w, std::size_t i) { write_withdrawal(w, d.withdrawal(i)); });
  out << "\n}\n";
}

bool write_dataset_file(const Dataset& dataset, const std::string& path, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot create " + path;
    return false;
  }
  write_dataset_json(dataset, out);
  out.close();
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace velora_sim
