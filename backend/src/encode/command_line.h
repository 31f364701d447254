// Splitting an encoder command line into arguments where no shell is used.
#pragma once

#include <string>
#include <vector>

namespace tsl::encode {

// Words separated by blanks; double or single quotes group blanks into a word
// (and are removed); a backslash outside single quotes takes the next
// character literally. An unterminated quote runs to the end.
std::vector<std::string> SplitCommandLine(const std::string& command);

} // namespace tsl::encode
