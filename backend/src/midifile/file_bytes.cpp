#include "midifile/file_bytes.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "bass.h"
#include "encode/native_file.h"

namespace tsl::midifile {

int ReadFileBytes(const std::string& path, uint64_t offset, uint64_t length, std::vector<uint8_t>& out) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(encode::OpenFileUtf8(path, "rb"), &std::fclose);
    if (!f) return BASS_ERROR_FILEOPEN;
    // Read in pieces instead of trusting a size query: pipes and special
    // files have none, and the cap bounds the memory either way.
    if (offset && !encode::SeekFile(f.get(), offset)) return BASS_ERROR_FILEOPEN;
    const uint64_t limit = length ? length : kMaxMidiFileBytes + 1;
    out.clear();
    uint8_t chunk[65536];
    while (out.size() < limit) {
        const size_t want = size_t(std::min<uint64_t>(sizeof chunk, limit - out.size()));
        const size_t n = std::fread(chunk, 1, want, f.get());
        out.insert(out.end(), chunk, chunk + n);
        if (n < want) break;
        if (out.size() > kMaxMidiFileBytes) return BASS_ERROR_FILEFORM;
    }
    if (std::ferror(f.get())) return BASS_ERROR_FILEOPEN;
    return BASS_OK;
}

} // namespace tsl::midifile
