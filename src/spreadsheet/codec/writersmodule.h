// The .xlsx and .ods writers as the module scrivane-writers.so hands them to
// the program that loads it: one table of the functions of package_writer.h,
// found by the name kWritersEntry. A program built with the module calls
// package_writer.h's functions as any other does; the loader behind them
// opens the module beside the program at the first call.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec {

struct PackageWriters {
    std::vector<std::uint8_t> (*xlsx)(const Workbook& book);
    std::vector<std::uint8_t> (*ods)(const Workbook& book);
    std::vector<std::uint8_t> (*zip)(const std::vector<std::pair<std::string, std::string>>&);
};

// The module's one exported function: returns its table.
constexpr const char* kWritersEntry = "scrivane_package_writers";
constexpr const char* kWritersModule = "scrivane-writers.so";

}  // namespace scrivane::codec
