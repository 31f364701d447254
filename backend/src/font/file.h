// Random-access reading of a file named by a UTF-8 path (UTF-16 on Windows
// underneath). Thread-safe: reads from several threads are serialised.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tsl::font {

// Where a font's bytes come from: a file, or memory (tests, fuzzing).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const noexcept = 0;
    // Reads exactly n bytes at offset; false when the source is shorter.
    virtual bool ReadAt(uint64_t offset, void* dst, size_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::vector<uint8_t> data) : data_(std::move(data)) {}
    uint64_t Size() const noexcept override { return data_.size(); }
    bool ReadAt(uint64_t offset, void* dst, size_t n) override;

private:
    std::vector<uint8_t> data_;
};

class File final : public ByteSource {
public:
    ~File() override;
    // Null when the file cannot be opened.
    static std::unique_ptr<File> Open(const std::string& utf8Path);
    uint64_t Size() const noexcept override { return size_; }
    bool ReadAt(uint64_t offset, void* dst, size_t n) override;

private:
    File() = default;
    std::FILE* f_ = nullptr;
    uint64_t size_ = 0;
    std::mutex mutex_;
};

// Whole file into memory; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& out);

// UTF-16 (2-byte units, zero-terminated) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const uint16_t* s);

} // namespace tsl::font
