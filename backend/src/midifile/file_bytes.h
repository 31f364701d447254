// Reading a MIDI file whole, with a size cap: MIDI files are small, and a
// multi-gigabyte "MIDI" file is not worth the memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsl::midifile {

constexpr uint64_t kMaxMidiFileBytes = 256u << 20;

// offset/length select a part of the file (length 0 = to the end).
// BASS_OK, BASS_ERROR_FILEOPEN, or BASS_ERROR_FILEFORM for a file over the cap.
int ReadFileBytes(const std::string& utf8Path, uint64_t offset, uint64_t length, std::vector<uint8_t>& out);

} // namespace tsl::midifile
