#include "font/file.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tsl::font {

namespace {

std::FILE* OpenRead(const std::string& path) {
#ifdef _WIN32
    int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (n <= 0) return nullptr;
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, w.data(), n);
    return _wfopen(w.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

bool Seek(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(f, int64_t(offset), SEEK_SET) == 0;
#else
    return fseeko(f, off_t(offset), SEEK_SET) == 0;
#endif
}

int64_t Tell(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return ftello(f);
#endif
}

} // namespace

bool MemorySource::ReadAt(uint64_t offset, void* dst, size_t n) {
    if (offset > data_.size() || n > data_.size() - offset) return false;
    if (n) std::memcpy(dst, data_.data() + offset, n);
    return true;
}

File::~File() {
    if (f_) std::fclose(f_);
}

std::unique_ptr<File> File::Open(const std::string& utf8Path) {
    std::FILE* f = OpenRead(utf8Path);
    if (!f) return nullptr;
    if (std::fseek(f, 0, SEEK_END) != 0) {
        std::fclose(f);
        return nullptr;
    }
    int64_t size = Tell(f);
    if (size < 0) {
        std::fclose(f);
        return nullptr;
    }
    std::unique_ptr<File> file(new File);
    file->f_ = f;
    file->size_ = uint64_t(size);
    return file;
}

bool File::ReadAt(uint64_t offset, void* dst, size_t n) {
    if (offset > size_ || n > size_ - offset) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Seek(f_, offset)) return false;
    return std::fread(dst, 1, n, f_) == n;
}

bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& out) {
    auto f = File::Open(utf8Path);
    if (!f) return false;
    if (f->Size() > (uint64_t(1) << 31)) return false;
    out.resize(size_t(f->Size()));
    return out.empty() || f->ReadAt(0, out.data(), out.size());
}

std::string Utf16ToUtf8(const uint16_t* s) {
    std::string out;
    if (!s) return out;
    for (size_t i = 0; s[i]; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace tsl::font
