// The client blacklist's two forms: the stored one ("ClientBlacklist": file
// names joined by ";", which the driver library splits and compares with the
// client's own file name) and the edited one (one name per line). Both are
// normalised the same way, so what the editor stores is what the driver checks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace blacklist_text {

// One name per line: each line trimmed, made lower case and cut to its file
// name (a path typed in would never match, the driver compares file names),
// ".exe" added where it does not end so; empty lines dropped; sorted, without
// duplicates; joined by CR LF with no line break after the last name.
std::wstring Normalise(std::wstring_view text);

// The stored form of an edited text (normalised, names joined by ";").
std::wstring ToStored(std::wstring_view editedText);

// The text the editor shows for a stored list: one name per line, with a
// final line break when there is any name.
std::wstring ToEdited(std::wstring_view stored);

// The first line of an edited text that holds a ";" (which the driver would
// take for two names), trimmed; nothing when there is none.
std::optional<std::wstring> LineWithSemicolon(std::wstring_view editedText);

}  // namespace blacklist_text
