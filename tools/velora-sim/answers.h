// The JSON bodies the simulated platform answers with: list pages, member
// details and error objects, in the field names and JSON types of the real
// platform, with a few extra fields the client does not read. Pure functions
// of their arguments; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/velora-sim/dataset.h"

namespace velora_sim {

enum class ListKind { members, orders, withdrawals };

// {"code":code,"msg":msg,"data":null}: no "/data/list".
std::string error_answer(int code, std::string_view msg);

// {"code":200,"msg":"success","data":{"list":[...],"total":N,"page":P,"size":S}}
// with the items of page (from 1) at size items per page; total 0 and an empty
// list when the robot number does not match (matches false).
std::string list_answer(const Dataset& dataset, ListKind kind, Platform platform, bool matches,
                        std::int64_t page, std::int64_t size);

// {"code":200,"msg":"success","data":{"wxid":...,"superiors_info":{"uid":...}|[]}}
std::string member_detail_answer(const Dataset& dataset, const Member& member);

}  // namespace velora_sim
