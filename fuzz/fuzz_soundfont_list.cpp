// Soundfont-list files: any bytes parse without harm (a list or a fault,
// never both), and a list the parser accepts is written and read again to the
// same entries. The first byte picks the port count, so masks are cut at
// every width.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "configurator/soundfont_list_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint32_t portCount = 1u + data[0] % 32u;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::wstring folder = L"C:\\Lists\\Mine";
    const sflist::ParseResult parsed = sflist::ParseSoundFontList(bytes, portCount, folder);
    if (!parsed.Ok()) {
        if (!parsed.items.empty())
            __builtin_trap();
        return 0;
    }
    const uint32_t mask = portCount >= 32 ? 0xFFFFFFFFu : (1u << portCount) - 1;
    for (const sflist::Item& item : parsed.items) {
        if (item.path.empty() || item.path.size() > sflist::kMaxPathChars || (item.ports & ~mask) != 0)
            __builtin_trap();
    }

    // A path the writer refuses (control characters, quotes or blanks at an
    // end, an unpaired surrogate) is reported, not written wrongly.
    const auto written = sflist::FormatSoundFontList(bytes, parsed.items, portCount);
    if (!written)
        return 0;
    const sflist::ParseResult again = sflist::ParseSoundFontList(*written, portCount, folder);
    if (!again.Ok() || again.items != parsed.items)
        __builtin_trap();
    return 0;
}
