// A private folder per test under the system's temporary folder, removed with
// everything in it, and a byte-exact reader for the files tests check.
#pragma once

#include <string>

namespace tsltest {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }
    // Writes bytes as given, creating the folders of `name` on the way.
    void Write(const std::wstring& name, const std::string& bytes) const;

private:
    std::wstring m_path;
};

// The file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);

}  // namespace tsltest
