#include "bass.h"
#include "font/readers.h"

namespace tsl::font {

std::shared_ptr<Font> OpenSfzText(const std::string&, const std::string&, const std::string&, uint32_t, int* error) {
    if (error) *error = BASS_ERROR_FILEFORM;
    return nullptr;
}

std::shared_ptr<Font> OpenSfz(const std::string&, uint32_t, int* error) {
    if (error) *error = BASS_ERROR_FILEFORM;
    return nullptr;
}

} // namespace tsl::font
