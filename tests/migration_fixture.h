// A whole migration against an in-process velora-sim, and what the target
// database must hold afterwards, derived from the served dataset. For the
// end-to-end tests; each test runs on its own state and folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "shiftwell/run/program_state.h"
#include "tools/velora-sim/velora_sim.h"

namespace shiftwell::testing {

class RecordingView : public RunView {
 public:
  void append_log_text(const std::string& line) override;
  void set_counter_caption(CounterKind kind, const std::string& caption) override;
  void run_finished(const RunOutcome& outcome) override;

  std::vector<std::string> lines() const;
  std::string log() const;
  int count_lines_with(const std::string& text) const;
  std::string caption(CounterKind kind) const;
  RunOutcome outcome() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::string captions_[4];
  RunOutcome outcome_;
};

// Rows of a table as text, each row its columns joined by '|', sorted.
using Rows = std::vector<std::string>;

class MigrationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the platform over the dataset; options.token etc. as given.
  void serve(std::shared_ptr<const velora_sim::Dataset> dataset, velora_sim::SimOptions options = {});
  // Runs one whole migration to its end; returns the outcome.
  RunOutcome migrate(const std::string& sub_id = "", const std::string& token = "");

  std::string database() const { return state->database_path; }
  std::string query(const std::string& sql) const;  // first column of the first row
  Rows table(const std::string& sql) const;

  // What the four written tables must hold for the served dataset.
  Rows expected_members() const;
  Rows expected_relations() const;
  Rows expected_orders() const;
  Rows expected_withdrawals() const;
  Rows stored_members() const;
  Rows stored_relations() const;
  Rows stored_orders() const;
  Rows stored_withdrawals() const;

  std::string folder;
  std::unique_ptr<ProgramState> state;
  RecordingView view;
  std::unique_ptr<velora_sim::VeloraSim> sim;
};

}  // namespace shiftwell::testing
