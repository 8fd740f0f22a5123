#include "tools/velora-sim/generator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/velora-sim/time_text.h"

namespace velora_sim {

namespace {

// splitmix64's finaliser: a bijection on 64-bit values, so distinct inputs
// give distinct outputs; unique ids rely on that.
std::uint64_t mix64(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

enum Stream : std::uint64_t { kMemberStream = 1, kOutsideStream, kOrderStream, kWithdrawalStream, kIdStream };

// The random draws of one row.
class RowRandom {
 public:
  RowRandom(std::uint64_t key, std::uint64_t stream, std::uint64_t index)
      : state_(mix64(key ^ mix64(stream * 0x100000001b3ULL + index))) {}

  std::uint64_t next() {
    state_ += 0x9e3779b97f4a7c15ULL;
    return mix64(state_);
  }
  // 0 <= value < n (n > 0).
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  std::int64_t between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(high - low + 1)));
  }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  bool chance(double p) { return unit() < p; }
  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

 private:
  std::uint64_t state_;
};

constexpr const char* kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄",   "赵",   "吴",  "周",
                                     "徐", "孙", "马", "朱", "胡", "郭", "何",   "高",   "林",  "罗",
                                     "郑", "梁", "谢", "宋", "唐", "许", "韩",   "冯",   "邓",  "曹",
                                     "彭", "曾", "肖", "田", "董", "潘", "欧阳", "司马", "上官"};
constexpr const char* kGiven[] = {"伟", "芳", "娜",   "秀英", "敏",   "静",   "丽",   "强",   "磊",   "军",
                                  "洋", "勇", "艳",   "杰",   "娟",   "涛",   "明",   "超",   "秀兰", "霞",
                                  "平", "刚", "桂英", "晓东", "子涵", "雨萱", "浩然", "欣怡", "梓轩", "诗涵"};
constexpr const char* kPetNames[] = {
    "快乐每一天", "阳光男孩", "花开半夏", "Lucky星", "静待花开", "momo",     "省钱小能手", "A建材批发老王",
    "宝妈团购",   "追风少年", "一只小鱼", "Sunny",   "岁月静好", "柠檬不萌", "小确幸",     "Jack陈"};
constexpr const char* kEmoji[] = {"😀", "🌸", "🍀", "🐟", "💰", "🔥", "✨", "🌙", "❤️", "👍", "🎉", "🐱"};
constexpr const char* kNasty[] = {"O'Brien",       "'); DROP TABLE member; --",
                                  "#wxid",         "#title",
                                  "#order_vice",   "#wx_name#id",
                                  "' OR '1'='1",   "it''s 王's",
                                  "%s%n%d",        "反斜杠\\'结尾",
                                  "双引号\"测试\""};
constexpr const char* kAdjectives[] = {"2024新款", "加厚",     "家用",     "官方正品", "包邮",  "大容量",
                                       "夏季",     "冬季加绒", "网红同款", "特价清仓", "升级版"};
constexpr const char* kProducts[] = {
    "纯棉短袖T恤", "无线蓝牙耳机", "不锈钢保温杯", "儿童益智积木",     "抽纸整箱", "洗衣凝珠",
    "手机壳",      "运动跑鞋",     "成猫粮",       "牛肉干零食大礼包", "电动牙刷", "瑜伽垫",
    "床上四件套",  "充电宝",       "护手霜",       "螺蛳粉",           "空气炸锅", "收纳箱"};
constexpr const char* kVariants[] = {"白色 M码",  "500ml",      "3包装",  "【送礼盒】", "黑色",
                                     "20000毫安", "(买二送一)", "家庭装", "L/XL",       "5kg"};
constexpr const char* kCategories[] = {"女装", "男装",     "数码配件", "家居日用", "零食",
                                       "母婴", "宠物用品", "美妆个护", "运动户外", "厨房电器"};

constexpr std::int64_t kEpoch2024 = 1704038400;  // 2024-01-01 00:00:00 on the UTC+8 clock
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kOutsideUidBase = 900000000;
constexpr std::int64_t kUnknownUidBase = 800000000;

std::string base36(std::uint64_t value, int width) {
  std::string text(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0 && value; --i) {
    text[static_cast<std::size_t>(i)] = "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
    value /= 36;
  }
  return text;
}

std::string hex16(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string money_text(std::int64_t cents) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(cents / 100),
                static_cast<long long>(cents % 100));
  return text;
}

// Yuan as a short JSON number: 1250 -> "12.5", 1200 -> "12", 1999 -> "19.99".
std::string yuan_literal(std::int64_t cents) {
  std::string text = std::to_string(cents / 100);
  const std::int64_t rest = cents % 100;
  if (rest) {
    text += '.';
    text += static_cast<char>('0' + rest / 10);
    if (rest % 10) text += static_cast<char>('0' + rest % 10);
  }
  return text;
}

std::string nickname(RowRandom& r, bool nasty) {
  if (nasty && r.chance(0.15))
    return r.chance(0.5) ? r.pick(kNasty) : r.pick(kSurnames) + std::string(r.pick(kNasty));
  std::string name;
  const auto style = r.below(10);
  if (style < 5) {
    name = std::string(r.pick(kSurnames)) + r.pick(kGiven);
  } else if (style < 7) {
    name = std::string("小") + r.pick(kGiven);
  } else {
    name = r.pick(kPetNames);
  }
  if (r.chance(0.2)) name = r.chance(0.5) ? name + r.pick(kEmoji) : r.pick(kEmoji) + name;
  return name;
}

std::string title(RowRandom& r, bool nasty) {
  std::string text = std::string(r.pick(kAdjectives)) + r.pick(kProducts) + " " + r.pick(kVariants);
  if (r.chance(0.1)) text = std::string(r.pick(kEmoji)) + text;
  if (nasty && r.chance(0.15)) text += r.pick(kNasty);
  return text;
}

// A nasty suffix on an id keeps it unique while it carries quotes or placeholders.
std::string maybe_nasty_suffix(RowRandom& r, bool nasty, double share) {
  return nasty && r.chance(share) ? std::string(r.pick(kNasty)) : std::string();
}

std::string picture(RowRandom& r, Platform platform) {
  return "https://img.velora-sim.test/" + std::string(platform_key(platform)) + "/" + hex16(r.next()) +
         ".jpg";
}

std::string digits(std::uint64_t value) { return std::to_string(value); }

bool parse_count(std::string_view text, std::size_t& out) {
  unsigned long long value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || text.empty() || value > 50000000ULL)
    return false;
  out = static_cast<std::size_t>(value);
  return true;
}

bool parse_share(std::string_view text, double& out) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || !(value >= 0.0 && value <= 1.0)) return false;
  out = value;
  return true;
}

}  // namespace

bool parse_generator_settings(std::string_view settings, GeneratorParams& params, std::string& error) {
  while (!settings.empty()) {
    const auto comma = settings.find(',');
    const std::string_view item = settings.substr(0, comma);
    settings = comma == std::string_view::npos ? std::string_view() : settings.substr(comma + 1);
    if (item.empty()) continue;
    const auto eq = item.find('=');
    if (eq == std::string_view::npos) {
      error = "generator setting \"" + std::string(item) + "\" lacks \"=value\"";
      return false;
    }
    const std::string_view key = item.substr(0, eq), value = item.substr(eq + 1);
    bool ok = true;
    if (key == "members") {
      ok = parse_count(value, params.members);
    } else if (key == "orders") {
      std::size_t n = 0;
      ok = parse_count(value, n);
      params.orders.fill(n);
    } else if (const auto platform = platform_from_key(key)) {
      ok = parse_count(value, params.orders[static_cast<std::size_t>(*platform)]);
    } else if (key == "withdrawals") {
      ok = parse_count(value, params.withdrawals);
    } else if (key == "upline") {
      ok = parse_share(value, params.upline_share);
    } else if (key == "outside") {
      ok = parse_share(value, params.outside_share);
    } else if (key == "unknown") {
      ok = parse_share(value, params.unknown_share);
    } else if (key == "seed") {
      unsigned long long seed = 0;
      const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), seed);
      ok = ec == std::errc() && ptr == value.data() + value.size() && !value.empty();
      params.seed = seed;
    } else if (key == "nasty") {
      ok = value == "0" || value == "1";
      params.nasty = value == "1";
    } else {
      error = "unknown generator setting \"" + std::string(key) + "\"";
      return false;
    }
    if (!ok) {
      error = "bad value for generator setting \"" + std::string(key) + "\": \"" + std::string(value) +
              "\" (counts 0..50000000, shares 0..1, nasty 0 or 1)";
      return false;
    }
  }
  return true;
}

GeneratedDataset::GeneratedDataset(GeneratorParams params) : params_(std::move(params)) {
  key_ = mix64(params_.seed ^ 0x5eed5eed5eedULL);
  uid_base_ = 100000 + static_cast<std::int64_t>(mix64(key_) % 900000);
  const double expected = static_cast<double>(params_.members) * params_.upline_share * params_.outside_share;
  // About two downlines share each outside upline.
  outside_count_ = expected > 0 ? static_cast<std::size_t>(std::ceil(expected / 2)) : 0;
}

Member GeneratedDataset::make_member(std::uint64_t id, std::int64_t uid, bool outside) const {
  RowRandom r(key_, outside ? kOutsideStream : kMemberStream, id);
  const bool nasty = params_.nasty;
  Member m;
  m.uid = uid;
  // Listed and outside members draw from disjoint id ranges, so their wxids differ.
  const std::uint64_t wxid_id = outside ? (1ULL << 40) + id : id;
  m.wxid =
      "wxid_" + base36(mix64(key_ ^ mix64(kIdStream) ^ wxid_id), 13) + maybe_nasty_suffix(r, nasty, 0.05);
  m.nickname = nickname(r, nasty);
  m.balance = money_text(r.chance(0.3) ? 0 : r.between(1, 50000));
  m.withdraw_amount = money_text(r.chance(0.4) ? 0 : r.between(100, 200000));
  m.finished_orders_number = static_cast<std::int32_t>(r.chance(0.2) ? 0 : r.between(1, 500));
  if (outside || !r.chance(params_.upline_share)) return m;
  const bool go_outside = outside_count_ > 0 && (r.chance(params_.outside_share) || id == 0);
  if (go_outside) {
    m.upline_uid = kOutsideUidBase + static_cast<std::int64_t>(r.below(outside_count_));
  } else if (id > 0) {
    // An earlier member, so relations never form a cycle.
    m.upline_uid = uid_base_ + static_cast<std::int64_t>(r.below(id));
  }
  return m;
}

Member GeneratedDataset::member(std::size_t index) const {
  return make_member(index, uid_base_ + static_cast<std::int64_t>(index), false);
}

Member GeneratedDataset::outside_member(std::size_t index) const {
  return make_member(index, kOutsideUidBase + static_cast<std::int64_t>(index), true);
}

std::optional<Member> GeneratedDataset::find_member(std::int64_t uid) const {
  if (uid >= uid_base_ && uid - uid_base_ < static_cast<std::int64_t>(params_.members))
    return member(static_cast<std::size_t>(uid - uid_base_));
  if (uid >= kOutsideUidBase && uid - kOutsideUidBase < static_cast<std::int64_t>(outside_count_))
    return outside_member(static_cast<std::size_t>(uid - kOutsideUidBase));
  return std::nullopt;
}

Order GeneratedDataset::order(Platform platform, std::size_t index) const {
  const auto p = static_cast<std::uint64_t>(platform);
  RowRandom r(key_, kOrderStream + 16 * p, index);
  const bool nasty = params_.nasty;
  // Per platform: a base for order numbers and one for line numbers. Line
  // numbers of different platforms lie in disjoint ranges, since the target
  // table keys on the line number alone. Some orders have two lines
  // ("淘宝" 4k and 4k+1, "京东" 5k and 5k+1, "唯品会" 3k and 3k+1).
  const std::uint64_t main_base = 1000000000000000000ULL + mix64(key_ + 2 * p) % 100000000000000000ULL;
  const std::uint64_t vice_base = 3000000000000000000ULL + mix64(key_ + 2 * p + 1) % 100000000000000000ULL;
  const std::uint64_t i = index;

  Order o;
  if (params_.members > 0) {
    const Member buyer = member(static_cast<std::size_t>(r.below(params_.members)));
    o.wxid = buyer.wxid;
    o.nickname = buyer.nickname;
  } else {
    o.wxid = "wxid_" + base36(r.next(), 13);
    o.nickname = nickname(r, nasty);
  }
  const std::int64_t created = kEpoch2024 + r.between(0, 180 * kDay);
  const std::int64_t settled = created + r.between(3 * kDay, 25 * kDay);
  o.title = title(r, nasty);
  o.item_id = digits(100000000000ULL + r.below(900000000000ULL));
  o.picture = picture(r, platform);
  o.quantity = r.chance(0.8) ? 1 : r.between(2, 5);
  const std::int64_t pay = r.between(100, 50000);
  const std::int64_t commission = std::max<std::int64_t>(1, pay * r.between(1, 30) / 100);
  o.fl_user = yuan_literal(commission * r.between(40, 80) / 100);
  o.fl_agent = yuan_literal(commission / 10);
  const bool cents = platform == Platform::pinduoduo || platform == Platform::douyin;
  o.pay_amount = cents ? std::to_string(pay) : yuan_literal(pay);
  o.commission = cents ? std::to_string(commission) : yuan_literal(commission);
  o.create_time = platform_date_time(created);
  o.settle_time = platform_date_time(settled);
  // Lines of one order share its number, so the nasty suffix comes from the order's own draws.
  const std::uint64_t group = platform == Platform::taobao    ? i - (i % 4 == 1 ? 1 : 0)
                              : platform == Platform::jd      ? i - (i % 5 == 1 ? 1 : 0)
                              : platform == Platform::vipshop ? i - (i % 3 == 1 ? 1 : 0)
                                                              : i;
  RowRandom group_random(key_, kOrderStream + 16 * p + 8, group);
  const std::string suffix = maybe_nasty_suffix(group_random, nasty, 0.03);

  switch (platform) {
    case Platform::taobao:
      o.order_main = digits(main_base + group) + suffix;
      o.order_vice = digits(vice_base + i);
      o.category = r.pick(kCategories);
      if (nasty && r.chance(0.05)) o.category += r.pick(kNasty);
      break;
    case Platform::jd:
      o.order_main = digits(main_base / 10 + group) + suffix;
      o.order_vice = digits(vice_base / 10 + i);
      o.picture.clear();
      break;
    case Platform::pinduoduo: {
      char sn[40];
      std::snprintf(
          sn, sizeof sn, "%.6s-%015llu",
          (o.create_time.substr(2, 2) + o.create_time.substr(5, 2) + o.create_time.substr(8, 2)).c_str(),
          static_cast<unsigned long long>(vice_base % 100000000000000ULL + i));
      o.order_main = sn + suffix;
      o.order_vice = o.order_main;
      o.create_time = std::to_string(created);
      o.settle_time = std::to_string(settled);
      break;
    }
    case Platform::douyin:
      o.order_main = digits(main_base * 4 + i) + suffix;
      o.item_id = digits(vice_base * 3 / 2 + i);
      o.order_vice = o.item_id;
      break;
    case Platform::vipshop:
      o.order_main = digits(main_base * 2 + group) + suffix;
      o.order_vice = digits(vice_base * 2 + i);
      break;
  }
  return o;
}

Withdrawal GeneratedDataset::withdrawal(std::size_t index) const {
  RowRandom r(key_, kWithdrawalStream, index);
  Withdrawal w;
  w.packet_hash = hex16(mix64(key_ ^ mix64(kWithdrawalStream) ^ index)) + hex16(r.next()) +
                  maybe_nasty_suffix(r, params_.nasty, 0.05);
  const std::int64_t created = kEpoch2024 + r.between(0, 180 * kDay);
  w.createdt = platform_date_time(created);
  w.changedt = platform_date_time(created + r.between(30, 3600));
  w.money = money_text(r.between(100, 20000));
  if (params_.members == 0 || r.chance(params_.unknown_share)) {
    w.userid = kUnknownUidBase + static_cast<std::int64_t>(r.below(100000000));
  } else {
    w.userid = uid_base_ + static_cast<std::int64_t>(r.below(params_.members));
  }
  return w;
}

}  // namespace velora_sim
