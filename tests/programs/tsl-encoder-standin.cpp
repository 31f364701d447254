// Stand-in for lame.exe and flac.exe in the converter's tests. Appends its
// command line (UTF-8, one line) to "commands.txt" beside itself, then acts as
// "mode.txt" beside itself says:
//   (no file)  copies its standard input to the output file (the argument after
//              "-o", else the last argument) behind the signature of the format
//              its extension names ("ID3" for .mp3, "fLaC" for .flac)
//   die        reads a little of its input and exits with code 3 (a crash)
//   silent     reads all its input, writes no file and exits with code 0
//   slow       as without the file, but waits 40 ms after each read (a slow encoder)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Folder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

std::vector<std::wstring> Arguments(const wchar_t* line)
{
    std::vector<std::wstring> args;
    const wchar_t* p = line;
    while (*p) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        if (!*p)
            break;
        std::wstring arg;
        bool quoted = false;
        for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
            if (*p == L'"')
                quoted = !quoted;
            else
                arg.push_back(*p);
        }
        args.push_back(arg);
    }
    return args;
}

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Mode(const std::wstring& folder)
{
    std::FILE* f = _wfopen((folder + L"mode.txt").c_str(), L"rb");
    if (!f)
        return {};
    char buf[32] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    std::string mode(buf, n);
    while (!mode.empty() && (mode.back() == '\n' || mode.back() == '\r' || mode.back() == ' '))
        mode.pop_back();
    return mode;
}

}  // namespace

int main()
{
    const std::wstring folder = Folder();
    const wchar_t* line = GetCommandLineW();
    if (std::FILE* log = _wfopen((folder + L"commands.txt").c_str(), L"ab")) {
        std::string text = Utf8(line) + "\n";
        std::fwrite(text.data(), 1, text.size(), log);
        std::fclose(log);
    }
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::vector<char> buf(1 << 16);
    DWORD got = 0;
    const std::string mode = Mode(folder);
    if (mode == "die") {
        ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr);
        return 3;
    }
    if (mode == "silent") {
        while (ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0) {
        }
        return 0;
    }
    std::vector<std::wstring> args = Arguments(line);
    std::wstring out = args.size() > 1 ? args.back() : L"";
    for (size_t i = 1; i + 1 < args.size(); ++i)
        if (args[i] == L"-o")
            out = args[i + 1];
    std::FILE* f = _wfopen(out.c_str(), L"wb");
    if (!f)
        return 1;
    const std::wstring ext = out.substr(out.find_last_of(L'.') + 1);
    if (ext == L"mp3")
        std::fwrite("ID3", 1, 3, f);
    else if (ext == L"flac")
        std::fwrite("fLaC", 1, 4, f);
    while (ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0) {
        std::fwrite(buf.data(), 1, got, f);
        if (mode == "slow")
            Sleep(40);
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
