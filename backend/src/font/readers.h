// The font readers behind OpenFont.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "font/file.h"
#include "font/model.h"

namespace tsl::font {

// SoundFont 2 (and SF3, Ogg Vorbis samples). Reads the preset data at once and
// keeps `src` for the sample data, which is read when loaded. Null and
// *error = BASS_ERROR_FILEFORM for anything malformed.
std::shared_ptr<Font> OpenSf2(std::unique_ptr<ByteSource> src, uint32_t flags, int* error);

// SFZ from a file (paths inside are relative to its folder).
std::shared_ptr<Font> OpenSfz(const std::string& utf8Path, uint32_t flags, int* error);

// SFZ from text, with `dir` the folder that relative paths start from and
// `name` the font's name. Used by OpenSfz, tests and fuzzing.
std::shared_ptr<Font> OpenSfzText(const std::string& text, const std::string& dir, const std::string& name,
                                  uint32_t flags, int* error);

} // namespace tsl::font
