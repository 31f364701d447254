// The core tests' folders and file readers, and a recorder that answers
// message boxes instead of showing them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace tsltest_core {

using tsltest::ReadBytes;
using tsltest::TempFolder;

// The file's text, as UTF-16 whatever the system chose to store it in.
std::wstring ReadProfileFileText(const std::wstring& path);
std::wstring FromUtf8(const std::string& text);
// "Z:\..." for a path of the build host (the source tree).
std::wstring HostPath(const char* hostPath);

// Answers every message box with IDOK and remembers them, for as long as it lives.
class MessageRecorder {
public:
    struct Message {
        std::wstring text, title;
        UINT flags;
    };
    MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    ~MessageRecorder();
    const std::vector<Message>& Messages() const;
};

}  // namespace tsltest_core

#include <memory>

#include "core/profile.h"
#include "core/settings.h"

namespace tsltest_core {

// A store over `conf` written as the configuration file of a fresh folder.
struct StoreInFolder {
    explicit StoreInFolder(const std::string& conf)
    {
        folder.Write(L"Tessaline.conf", conf);
        store = std::make_unique<CSettings>(folder.Path());
    }
    // What the file holds now, read by the system's profile reader; "<none>" for a missing key.
    std::wstring Stored(const wchar_t* section, const std::wstring& key) const
    {
        return ProfileReadText(store->ConfigFile(), section, key, L"<none>", 1000);
    }

    MessageRecorder messages;
    TempFolder folder;
    std::unique_ptr<CSettings> store;
};

}  // namespace tsltest_core
