#include "tools/velora-sim/answers.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <functional>

namespace velora_sim {

namespace {

// A thin layer over the RapidJSON writer so that each item reads as its field list.
class Json {
 public:
  Json() : writer_(buffer_) {}

  Json& begin() {
    writer_.StartObject();
    return *this;
  }
  Json& end() {
    writer_.EndObject();
    return *this;
  }
  Json& key(std::string_view k) {
    writer_.Key(k.data(), static_cast<rapidjson::SizeType>(k.size()));
    return *this;
  }
  Json& str(std::string_view k, std::string_view v) {
    key(k);
    writer_.String(v.data(), static_cast<rapidjson::SizeType>(v.size()));
    return *this;
  }
  Json& num(std::string_view k, std::int64_t v) {
    key(k);
    writer_.Int64(v);
    return *this;
  }
  // v is a JSON number literal (checked when the dataset was built).
  Json& raw_num(std::string_view k, const std::string& v) {
    key(k);
    writer_.RawValue(v.data(), v.size(), rapidjson::kNumberType);
    return *this;
  }
  Json& null(std::string_view k) {
    key(k);
    writer_.Null();
    return *this;
  }
  Json& begin_array(std::string_view k) {
    key(k);
    writer_.StartArray();
    return *this;
  }
  Json& end_array() {
    writer_.EndArray();
    return *this;
  }
  Json& user_info(const Order& o) {
    key("user_info").begin().str("nickname", o.nickname).str("avatar", avatar_of(o.wxid)).end();
    return *this;
  }
  std::string text() const { return std::string(buffer_.GetString(), buffer_.GetSize()); }

  static std::string avatar_of(const std::string& wxid) {
    return "https://avatar.velora-sim.test/" + std::to_string(std::hash<std::string>{}(wxid) % 1000000) +
           ".png";
  }

 private:
  rapidjson::StringBuffer buffer_;
  rapidjson::Writer<rapidjson::StringBuffer> writer_;
};

void member_item(Json& j, const Member& m, const std::string& sub_id) {
  j.begin()
      .num("uid", m.uid)
      .str("nickname", m.nickname)
      .str("avatar", Json::avatar_of(m.wxid))
      .num("finished_orders_number", m.finished_orders_number)
      .str("sub_id", sub_id)
      .num("status", 1)
      .end();
}

void withdrawal_item(Json& j, const Withdrawal& w) {
  j.begin()
      .num("id", static_cast<std::int64_t>(std::hash<std::string>{}(w.packet_hash) % 100000000))
      .str("packet_hash", w.packet_hash)
      .num("userid", w.userid)
      .str("money", w.money)
      .str("createdt", w.createdt)
      .str("changedt", w.changedt)
      .num("redpacket_state", 1)
      .num("type", 1)
      .str("remark", "提现成功")
      .end();
}

void order_item(Json& j, Platform platform, const Order& o) {
  j.begin();
  switch (platform) {
    case Platform::taobao:
      j.str("trade_parent_id", o.order_main)
          .str("trade_id", o.order_vice)
          .str("item_id", o.item_id)
          .str("item_title", o.title)
          .str("item_img", o.picture)
          .num("item_num", o.quantity)
          .raw_num("pay_price", o.pay_amount)
          .raw_num("alipay_total_price", o.pay_amount)
          .raw_num("pub_share_fee", o.commission)
          .str("item_category_name", o.category)
          .str("tk_create_time", o.create_time)
          .str("tk_earning_time", o.settle_time)
          .num("tk_status", 3)
          .str("order_type", "淘宝");
      break;
    case Platform::jd:
      j.str("orderId", o.order_main)
          .str("uniqueId", o.order_vice)
          .str("itemId", o.item_id)
          .str("skuName", o.title)
          .num("skuNum", o.quantity)
          .raw_num("estimateCosPrice", o.pay_amount)
          .raw_num("estimateFee", o.commission)
          .str("orderTime", o.create_time)
          .str("finishTime", o.settle_time)
          .num("validCode", 17);
      break;
    case Platform::pinduoduo:
      // Times are Unix seconds: the pay time as a number, the settle time as a string.
      j.str("order_sn", o.order_main)
          .str("goods_id", o.item_id)
          .str("goods_name", o.title)
          .str("goods_thumbnail_url", o.picture)
          .num("goods_quantity", o.quantity)
          .raw_num("order_amount", o.pay_amount)
          .raw_num("promotion_amount", o.commission)
          .raw_num("order_pay_time", o.create_time)
          .str("order_settle_time", o.settle_time)
          .num("order_status", 5)
          .str("order_status_desc", "审核通过");
      break;
    case Platform::douyin:
      j.str("orderId", o.order_main)
          .str("productId", o.order_vice)
          .str("productName", o.title)
          .str("productImg", o.picture)
          .num("itemNum", o.quantity)
          .raw_num("totalPayAmount", o.pay_amount)
          .raw_num("estimatedCommission", o.commission)
          .str("create_time", o.create_time)
          .str("update_time", o.settle_time)
          .str("flowPoint", "SETTLE");
      break;
    case Platform::vipshop:
      j.str("orderSn", o.order_main)
          .str("uni_id", o.order_vice)
          .str("goodsId", o.item_id)
          .str("goodsName", o.title)
          .str("goodsThumb", o.picture)
          .num("goodsCount", o.quantity)
          .raw_num("goodsFinalPrice", o.pay_amount)
          .raw_num("commission", o.commission)
          .str("create_time", o.create_time)
          .str("update_time", o.settle_time)
          .str("orderSubStatusName", "已结算");
      break;
  }
  j.raw_num("fl_user", o.fl_user).raw_num("fl_agent", o.fl_agent).str("wxid", o.wxid).user_info(o).end();
}

}  // namespace

std::string error_answer(int code, std::string_view msg) {
  Json j;
  j.begin().num("code", code).str("msg", msg).null("data").end();
  return j.text();
}

std::string list_answer(const Dataset& d, ListKind kind, Platform platform, bool matches, std::int64_t page,
                        std::int64_t size) {
  std::size_t total = 0;
  if (matches) {
    switch (kind) {
      case ListKind::members:
        total = d.member_count();
        break;
      case ListKind::orders:
        total = d.order_count(platform);
        break;
      case ListKind::withdrawals:
        total = d.withdrawal_count();
        break;
    }
  }
  // Pages far past the end must not overflow into the data.
  const auto per_page = static_cast<std::size_t>(size);
  const auto skipped = static_cast<std::size_t>(page - 1);
  const std::size_t first = skipped > total / per_page ? total : std::min(total, skipped * per_page);
  const std::size_t last = std::min(total, first + per_page);

  Json j;
  j.begin().num("code", 200).str("msg", "success").key("data").begin().begin_array("list");
  for (std::size_t i = first; i < last; ++i) {
    switch (kind) {
      case ListKind::members:
        member_item(j, d.member(i), d.sub_id());
        break;
      case ListKind::orders:
        order_item(j, platform, d.order(platform, i));
        break;
      case ListKind::withdrawals:
        withdrawal_item(j, d.withdrawal(i));
        break;
    }
  }
  j.end_array()
      .num("total", static_cast<std::int64_t>(total))
      .num("page", page)
      .num("size", size)
      .end()
      .end();
  return j.text();
}

std::string member_detail_answer(const Dataset& d, const Member& m) {
  Json j;
  j.begin().num("code", 200).str("msg", "success").key("data").begin();
  j.num("uid", m.uid)
      .str("wxid", m.wxid)
      .str("nickname", m.nickname)
      .str("avatar", Json::avatar_of(m.wxid))
      .str("balance", m.balance)
      .str("withdraw_amount", m.withdraw_amount)
      .num("finished_orders_number", m.finished_orders_number);
  if (m.upline_uid) {
    // An upline the platform cannot resolve still shows its id.
    const auto upline = d.find_member(*m.upline_uid);
    j.key("superiors_info").begin().num("uid", *m.upline_uid);
    if (upline) j.str("wxid", upline->wxid).str("nickname", upline->nickname);
    j.end();
  } else {
    j.begin_array("superiors_info").end_array();
  }
  j.end().end();
  return j.text();
}

}  // namespace velora_sim
