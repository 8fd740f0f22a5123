// The velora-sim program's command line: parsing into the server options
// and the dataset source, the usage text, and building the dataset it names.
// Free routines; any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/velora-sim/dataset.h"
#include "tools/velora-sim/generator.h"
#include "tools/velora-sim/velora_sim.h"

namespace velora_sim {

struct CommandLine {
  SimOptions sim;                     // token stays empty: the dataset carries it
  std::string dataset_file;           // --dataset; empty: generated
  GeneratorParams generator;          // --generate, --nasty
  std::optional<std::string> sub_id;  // --sub-id: overrides the dataset's
  std::optional<std::string> token;   // --token: overrides the dataset's
  std::string dump_dataset;           // --dump-dataset FILE
  bool no_serve = false;              // --no-serve: dump and exit
  bool help = false;
};

// args without the program name. False with *error for an unknown flag, a
// missing or bad value, or --dataset together with --generate.
bool parse_command_line(const std::vector<std::string>& args, CommandLine& out, std::string& error);
std::string usage_text();

// The file's rows or the generator, with --sub-id and --token applied. Null
// with *error when the file cannot be read or is not a valid dataset.
std::shared_ptr<const Dataset> make_dataset(const CommandLine& command_line, std::string& error);

}  // namespace velora_sim
