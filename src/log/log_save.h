#pragma once
// "save Log as...": lines of the store as plain text, one LF-ended line each.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "log/log_store.h"

namespace ardel {

// First and last line of each range, both included; ranges in the order given. Empty:
// every line. Writes beside the file and renames it over, so a failure leaves the old
// file; throws EFileError naming the file.
void SaveLogText(const TLogStore& store, const std::vector<std::pair<std::size_t, std::size_t>>& ranges,
                 const std::string& path);

}  // namespace ardel
