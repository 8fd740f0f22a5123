#include "shiftwell/run/run_log.h"
#include "shiftwell/transfer/sql_text.h"
#include "shiftwell/transfer/transfer_workers.h"

namespace shiftwell {

namespace {

enum class Read { string, text, constant };
enum class Convert { none, unix_time, cents };

struct Field {
  Read read;
  const char* value;  // pointer suffix, or the constant ("" for empty)
  Convert convert = Convert::none;
};

struct PlatformFields {
  const char* platform;
  Field creation_time, settling_time, title, id, picture, order_main, order_vice, numbers, pay_price,
      union_yj, category;
};

constexpr Field S(const char* p) { return {Read::string, p}; }
constexpr Field T(const char* p, Convert c = Convert::none) { return {Read::text, p, c}; }
constexpr Field C(const char* v) { return {Read::constant, v}; }

const PlatformFields kPlatforms[5] = {
    {"淘宝", S("/tk_create_time"), S("/tk_earning_time"), S("/item_title"), S("/item_id"), S("/item_img"),
     S("/trade_parent_id"), S("/trade_id"), T("/item_num"), T("/pay_price"), T("/pub_share_fee"),
     T("/item_category_name")},
    {"京东", S("/orderTime"), S("/finishTime"), S("/skuName"), S("/itemId"), C(""), S("/orderId"),
     S("/uniqueId"), T("/skuNum"), T("/estimateCosPrice"), T("/estimateFee"), C("")},
    {"拼多多",
     T("/order_pay_time", Convert::unix_time),
     {Read::string, "/order_settle_time", Convert::unix_time},
     S("/goods_name"),
     S("/goods_id"),
     S("/goods_thumbnail_url"),
     S("/order_sn"),
     S("/order_sn"),
     T("/goods_quantity"),
     T("/order_amount", Convert::cents),
     T("/promotion_amount", Convert::cents),
     C("")},
    {"抖音", T("/create_time"), S("/update_time"), S("/productName"), S("/productId"), S("/productImg"),
     S("/orderId"), S("/productId"), C("1"), T("/totalPayAmount", Convert::cents),
     T("/estimatedCommission", Convert::cents), C("")},
    {"唯品会", T("/create_time"), S("/update_time"), S("/goodsName"), S("/goodsId"), S("/goodsThumb"),
     S("/orderSn"), S("/uni_id"), T("/goodsCount"), T("/goodsFinalPrice"), T("/commission"), C("")},
};

const char* const kOrderTemplate =
    "INSERT INTO "
    "register_order(creation_time,settling_time,platform,wx_name,title,id,picture,order_main,order_vice,"
    "numbers,"
    "pay_price,union_yj,user_yj,royalty_one,client,order_state,category,wxid) "
    "VALUES('#creation_time','#settling_time','#platform','#wx_name','#title','#id','#picture','#order_main',"
    "'#"
    "order_vice','#numbers','#pay_price','#union_yj','#user_yj','#royalty_one','#client','#order_state','#"
    "category','#wxid')";

std::string read_field(JsonDocument& doc, const std::string& item, const Field& f) {
  if (f.read == Read::constant) return f.value;
  std::string v = f.read == Read::string ? doc.read_string(item + f.value) : doc.read_text(item + f.value);
  switch (f.convert) {
    case Convert::none:
      return v;
    case Convert::unix_time:
      return format_date_time(unix_to_local_time(v), "yyyy-MM-dd", " HH:mm:ss");
    case Convert::cents:
      return divide_by_100(v);
  }
  return v;
}

void transfer_order(ProgramState& state, JsonDocument& doc, const PlatformFields& p, int i) {
  const std::string item = "/data/list/" + std::to_string(i);
  const std::string order_main = read_field(doc, item, p.order_main);
  const std::string order_vice = read_field(doc, item, p.order_vice);
  // Every value is read before the database lock is taken.
  const std::vector<std::pair<std::string, std::string>> values = {
      {"#creation_time", sql_quote(read_field(doc, item, p.creation_time))},
      {"#settling_time", sql_quote(read_field(doc, item, p.settling_time))},
      {"#platform", p.platform},
      {"#wx_name", sql_quote(doc.read_string(item + "/user_info/nickname"))},
      {"#title", sql_quote(read_field(doc, item, p.title))},
      {"#id", sql_quote(read_field(doc, item, p.id))},
      {"#picture", sql_quote(read_field(doc, item, p.picture))},
      {"#order_main", sql_quote(order_main)},
      {"#order_vice", sql_quote(order_vice)},
      {"#numbers", sql_quote(read_field(doc, item, p.numbers))},
      {"#pay_price", sql_quote(read_field(doc, item, p.pay_price))},
      {"#union_yj", sql_quote(read_field(doc, item, p.union_yj))},
      {"#user_yj", sql_quote(doc.read_text(item + "/fl_user"))},
      {"#royalty_one", sql_quote(doc.read_text(item + "/fl_agent"))},
      {"#client", "Velora转移"},
      {"#order_state", "交易成功"},
      {"#category", sql_quote(read_field(doc, item, p.category))},
      {"#wxid", sql_quote(doc.read_string(item + "/wxid"))},
  };
  const std::string sql = fill_placeholders(kOrderTemplate, values);

  state.target_db.connect();
  if (state.target_db.query_count("register_order", "order_main = '" + sql_quote(order_main) +
                                                        "' AND order_vice = '" + sql_quote(order_vice) +
                                                        "'") != 0) {
    append_log(state, "疑似存在相同订单订单[" + order_main + "] 子订单[" + order_vice + "]");
  } else {
    insert_row(state, sql, CounterKind::order, "register_order", order_main + " / " + order_vice);
  }
  state.target_db.disconnect();
}

}  // namespace

void order_worker(ProgramState& state) {
  JsonDocument doc;
  for (int k = 0; k < 5 && !state.stop_requested.load(); ++k) {
    while (!state.stop_requested.load()) {
      const int page = claim_page(state.order_lock, state.order_page_counters[k]);
      if (!read_list_page(state, kOrderLists[k], page, doc)) break;
      const int count = doc.read_count("/data/list");
      for (int i = 0; i < count && !state.stop_requested.load(); ++i)
        transfer_order(state, doc, kPlatforms[k], i);
    }
  }
}

}  // namespace shiftwell
