#include "core/command_line.h"

#include <algorithm>

ArgumentList TokenizeCommandLine(std::wstring_view text)
{
    ArgumentList tokens;
    const size_t n = text.size();
    size_t p = 0;
    while (p < n) {
        if (text[p] != L'"') {
            size_t space = text.find(L' ', p);
            if (space == std::wstring_view::npos) {
                tokens.emplace_back(text.substr(p));
                break;
            }
            tokens.emplace_back(text.substr(p, space - p));
            p = space + 1;
            continue;
        }
        // A quoted token ends at a quote followed by a space, searched from the
        // opening quote itself; without one (or with fewer than two characters
        // left) the last character of the text is taken as the closing quote.
        size_t end = text.find(L"\" ", p);
        if (end == std::wstring_view::npos || n - p < 2)
            end = n - 1;
        std::wstring token;
        if (end > p + 1)
            token.assign(text.substr(p + 1, end - p - 1));
        if (token.empty())
            token = L"\"\"";
        tokens.push_back(std::move(token));
        p = end + 2;
    }
    return tokens;
}

bool HasSwitch(const ArgumentList& args, std::wstring_view name)
{
    return std::any_of(args.begin(), args.end(), [&](const std::wstring& a) { return a == name; });
}
