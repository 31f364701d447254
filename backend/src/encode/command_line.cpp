#include "encode/command_line.h"

namespace tsl::encode {

std::vector<std::string> SplitCommandLine(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote == '"' && i + 1 < command.size() &&
                       (command[i + 1] == '"' || command[i + 1] == '\\')) {
                word += command[++i];
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '\\' && i + 1 < command.size()) {
                word += command[++i];
            } else {
                word += c;
            }
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

} // namespace tsl::encode
