// Converter file lists: any bytes parse without harm, and what the parser
// accepts is written back and read again to the same entries.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "converter/file_list_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto entries = ParseFileList(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!entries)
        return 0;
    const auto again = ParseFileList(FormatFileList(*entries));
    if (!again || again->size() != entries->size())
        __builtin_trap();
    for (size_t i = 0; i < entries->size(); ++i)
        if ((*again)[i].path != (*entries)[i].path || (*again)[i].keyShift != (*entries)[i].keyShift)
            __builtin_trap();
    return 0;
}
