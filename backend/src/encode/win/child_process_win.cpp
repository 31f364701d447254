#include <windows.h>

#include <vector>

#include "encode/child_process.h"
#include "encode/win/wide_text.h"

namespace tsl::encode {
namespace {

class WinChild final : public ChildProcess {
public:
    WinChild(HANDLE process, HANDLE input) : process_(process), input_(input) {}
    ~WinChild() override {
        CloseAndWait(5000);
        CloseHandle(process_);
    }

    bool WriteAll(const void* data, size_t bytes) override {
        const char* p = static_cast<const char*>(data);
        while (bytes) {
            if (!input_) return false;
            DWORD chunk = bytes > (1u << 20) ? (1u << 20) : DWORD(bytes), written = 0;
            // Fails with ERROR_NO_DATA / ERROR_BROKEN_PIPE once the encoder is gone.
            if (!WriteFile(input_, p, chunk, &written, nullptr) || written == 0) return false;
            p += written;
            bytes -= written;
        }
        return true;
    }

    bool Exited() const override { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }

    void CloseAndWait(unsigned timeoutMs) override {
        if (input_) {
            CloseHandle(input_);
            input_ = nullptr;
        }
        if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 1000);
        }
    }

private:
    HANDLE process_;
    HANDLE input_;
};

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& command) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 1 << 16)) return nullptr;
    // Only the child's end is inherited.
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = readEnd;
    si.hStdOutput = nul != INVALID_HANDLE_VALUE ? nul : nullptr;
    si.hStdError = si.hStdOutput;
    PROCESS_INFORMATION pi{};
    std::wstring wide = Utf8ToWide(command);
    std::vector<wchar_t> line(wide.begin(), wide.end());
    line.push_back(L'\0'); // CreateProcessW may write into the command line
    const BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                   &si, &pi);
    CloseHandle(readEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!ok) {
        CloseHandle(writeEnd);
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return std::make_unique<WinChild>(pi.hProcess, writeEnd);
}

} // namespace tsl::encode
