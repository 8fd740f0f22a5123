// The two builds of the database library that the programs use: Shiftwell's
// and Dbwarden's. A value is fixed when an object is constructed and read by
// any thread afterwards.
#pragma once

namespace GeRenMoKuai {

enum class Configuration { shiftwell, dbwarden };

}  // namespace GeRenMoKuai
