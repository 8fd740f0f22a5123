#include "shiftwell/run/run_log.h"
#include "shiftwell/transfer/transfer_workers.h"

namespace shiftwell {

bool insert_row(ProgramState& state, const std::string& sql, CounterKind kind, const std::string& table,
                const std::string& key) {
  if (state.target_db.exec(sql)) {
    add_to_counter(state, kind);
    return true;
  }
  append_log(state, "写入失败 " + table + " [" + key + "]: " + state.target_db.last_error_message());
  state.report.failed_insert(kind);
  return false;
}

}  // namespace shiftwell
