// The three kinds of migration worker. Each is a thread routine over the
// program-wide state: ten of each run at once (the run's fixed
// parallelism), sharing their kind's page counter and writing through the
// shared target database, one test-and-insert bracket at a time.
#pragma once

#include <string>

#include "shiftwell/json/json_document.h"
#include "shiftwell/platform/velora_api.h"
#include "shiftwell/run/program_state.h"

namespace shiftwell {

void member_worker(ProgramState& state);
void order_worker(ProgramState& state);
void withdrawal_worker(ProgramState& state);

// Claims nothing itself: fetches the claimed page into doc and tells whether
// it holds items. A page that could not be fetched, an error answer and the
// end of the list are logged and noted in the run report as they are.
bool read_list_page(ProgramState& state, const ListEndpoint& endpoint, int page, JsonDocument& doc);

// The member row of the withdrawal's user, through the record column, through the record column
void find_member_by_record(ProgramState& state, const std::string& user_id, std::string& wxid,
                           std::string& name);

// Runs an insert (the caller holds connect). On success adds to the counter;
// on failure logs the table, the key and SQLite's message and tallies it.
bool insert_row(ProgramState& state, const std::string& sql, CounterKind kind, const std::string& table,
                const std::string& key);

}  // namespace shiftwell
