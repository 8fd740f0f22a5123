// The dataset file: reading it into rows and writing any dataset out in the
// same format (README.md describes it). Numbers are kept by their literal, so
// a file read and written again is unchanged row for row. Free routines, any
// thread; each call works on its own arguments.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "tools/velora-sim/dataset.h"

namespace velora_sim {

inline constexpr std::string_view kDatasetFormat = "velora-sim-dataset/1";

// False with *error naming the fault and where it lies ("members[3]: unknown
// field \"balanse\""); rows is left in an undefined state then.
bool parse_dataset_json(std::string_view text, DatasetRows& rows, std::string& error);
bool load_dataset_file(const std::string& path, DatasetRows& rows, std::string& error);

// One row per line, compact; rows in dataset order.
void write_dataset_json(const Dataset& dataset, std::ostream& out);
bool write_dataset_file(const Dataset& dataset, const std::string& path, std::string& error);

}  // namespace velora_sim
