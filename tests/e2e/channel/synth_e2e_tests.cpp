// The synth's side of the channel end to end: what programs play is heard at
// its pitch, every program gets its own stream per port, the watchdog frees the
// streams of programs that died, and the question asked before the exit names
// the programs still connected.
#include "audio_analysis.h"
#include "channel_fixture.h"

#include "backend/tests/output/capture.h"

#include <cmath>
#include <map>
#include <numbers>
#include <sstream>

using namespace tsltest;

namespace {

// The tray's exit command.
constexpr WPARAM kExitCommand = 0x406;

// The clients of each port as the question before the exit lists them:
// "=== Tessaline #N ===" followed by one "* <path> (#<pid>)" line per client.
struct ListedClient {
    std::wstring path;
    DWORD processId = 0;
};
using StatusListing = std::map<std::wstring, std::vector<ListedClient>>;

StatusListing ParseStatus(const std::wstring& text)
{
    StatusListing listing;
    std::wstring port;
    std::wistringstream lines(text);
    for (std::wstring line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (line.starts_with(L"=== ") && line.ends_with(L" ===")) {
            port = line.substr(4, line.size() - 8);
            listing[port];
        } else if (line.starts_with(L"* ") && !port.empty()) {
            const size_t mark = line.rfind(L" (#");
            if (mark == std::wstring::npos || !line.ends_with(L")"))
                continue;
            ListedClient client;
            client.path = line.substr(2, mark - 2);
            client.processId = std::wcstoul(line.c_str() + mark + 3, nullptr, 10);
            listing[port].push_back(client);
        } else {
            port.clear();
        }
    }
    return listing;
}

std::vector<DWORD> ListedIds(const StatusListing& listing, const std::wstring& port)
{
    std::vector<DWORD> ids;
    if (auto it = listing.find(port); it != listing.end())
        for (const ListedClient& client : it->second)
            ids.push_back(client.processId);
    return ids;
}

bool IsTestClientPath(const std::wstring& path)
{
    std::wstring lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    return lower.ends_with(L"\\tsl-test-client.exe");
}

// Writes entries into the synth's block as a program's driver does, for a
// program that does not exist: the writers' lock word, the entry at the write
// index filled completely, the write index moved on with a compare-exchange,
// the lock released and the reader woken.
class FakeWriter {
public:
    explicit FakeWriter(DWORD processId) : m_processId(processId)
    {
        m_mapping = OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, ring::kSharedMemName);
        if (m_mapping)
            m_block = static_cast<ring::Block*>(
                MapViewOfFile(m_mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, ring::kBlockSize));
        m_dataAvailable = OpenEventW(EVENT_MODIFY_STATE, FALSE, ring::kDataAvailableName);
    }
    ~FakeWriter()
    {
        if (m_block)
            UnmapViewOfFile(m_block);
        if (m_mapping)
            CloseHandle(m_mapping);
        if (m_dataAvailable)
            CloseHandle(m_dataAvailable);
    }
    FakeWriter(const FakeWriter&) = delete;
    FakeWriter& operator=(const FakeWriter&) = delete;

    bool Valid() const { return m_block && m_dataAvailable; }

    bool Append(uint32_t port, uint32_t type, uint32_t param1 = 0, uint32_t param2 = 0,
                const std::vector<uint8_t>& data = {})
    {
        std::atomic_ref<uint32_t> lock = ring::Shared(m_block->writerLock);
        const bool locked = WaitUntil(
            [&] {
                uint32_t free = 0;
                return lock.compare_exchange_strong(free, m_processId, std::memory_order_acquire);
            },
            2000);
        if (!locked)
            return false;
        const uint32_t write = ring::Shared(m_block->writeIndex).load();
        bool written = false;
        if (write < ring::kEntryCount) {
            ring::Entry& entry = m_block->entries[write];
            const uint32_t next = ring::Following(write, entry.next);
            if (next != ring::Shared(m_block->readIndex).load()) {
                entry.port = port;
                entry.client = m_processId;
                entry.type = type;
                entry.param1 = param1;
                entry.param2 = param2;
                entry.dataLength = static_cast<uint32_t>(std::min<size_t>(data.size(), ring::kChunkBytes));
                std::copy_n(data.begin(), entry.dataLength, entry.data);
                uint32_t expected = write;
                written = ring::Shared(m_block->writeIndex).compare_exchange_strong(expected, next);
            }
        }
        uint32_t mine = m_processId;
        lock.compare_exchange_strong(mine, 0, std::memory_order_release);
        if (written)
            SetEvent(m_dataAvailable);
        return written;
    }

private:
    DWORD m_processId;
    HANDLE m_mapping = nullptr;
    ring::Block* m_block = nullptr;
    HANDLE m_dataAvailable = nullptr;
};

class SynthChannel : public Channel {
protected:
    // Gives the tray the exit command: the question it raises, or null when
    // none came within `timeoutMs` (the synth then ends on its own).
    HWND AskToExit(DWORD timeoutMs = 10000)
    {
        HWND tray = Tray(2000);
        if (!tray)
            return nullptr;
        PostMessageW(tray, WM_COMMAND, kExitCommand, 0);
        HWND box = nullptr;
        WaitUntil(
            [&] {
                box = WaitForMessageBox(m_synth.Id(), 0);
                return box || !m_synth.IsRunning();
            },
            timeoutMs);
        return box;
    }

    // Answers the question and waits for its box to go.
    bool Answer(HWND box, int button)
    {
        return PressButton(box, button) && WaitUntil([&] { return !IsWindow(box); }, 5000);
    }

    // Asks, reads what the question lists and cancels it.
    StatusListing ListingOfExitQuestion(std::wstring* text = nullptr)
    {
        HWND box = AskToExit();
        EXPECT_NE(box, nullptr) << "no question although programs are connected";
        if (!box)
            return {};
        const std::wstring said = MessageBoxText(box);
        if (text)
            *text = said;
        EXPECT_TRUE(Answer(box, IDCANCEL));
        return ParseStatus(said);
    }
};

TEST_F(SynthChannel, MelodyIsHeardAtItsPitchesInOrder)
{
    const std::string capture = tsl::test::CapturePath();
    if (capture.empty())
        GTEST_SKIP() << "TSL_AUDIO_CAPTURE not set (run through tools/wine-run)";
    DeleteFileA(capture.c_str());
    TestInstallation install("channel-melody");
    StartSynth(install);

    // GM reset, then a flute (program 74) playing A4, C5, E5 with gaps between.
    const int keys[] = {69, 72, 76};
    std::wstring commands = L"--open --sysex F07E7F0901F7 --sleep 200 --short 49C0 --sleep 200 ";
    for (int key : keys)
        commands += L"--note 0 " + std::to_wstring(key) + L" 110 --sleep 600 --note 0 " + std::to_wstring(key) +
                    L" 0 --sleep 700 ";
    commands += L"--close";
    EXPECT_EQ(RunClient(commands), std::optional<DWORD>(0));
    PostMessageW(Tray(1000), WM_CLOSE, 0, 0);
    EXPECT_EQ(m_synth.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));

    const CapturedAudio heard = ReadCapturedAudio(capture);
    ASSERT_GT(heard.rate, 0) << "no capture";
    // The device takes the audio faster than real time, so the notes are
    // found where they start in the capture rather than by the clock.
    const std::vector<Segment> segments = SoundingSegments(heard);
    std::ostringstream found;
    for (const Segment& s : segments)
        found << " [" << s.begin / heard.rate << " s, " << (s.end - s.begin) / heard.rate << " s]";
    ASSERT_EQ(segments.size(), std::size(keys)) << "sounding stretches:" << found.str();
    for (size_t n = 0; n < segments.size(); ++n) {
        // Past the attack, at most 200 ms of the held note.
        const size_t skip = size_t(heard.rate * 0.04);
        const size_t length = std::min(size_t(heard.rate * 0.2), segments[n].end - segments[n].begin - skip);
        const double hz = DominantHz(heard.left, segments[n].begin + skip, length, heard.rate);
        EXPECT_NEAR(hz / NoteHz(keys[n]), 1.0, 0.015)
            << "note " << n + 1 << " (key " << keys[n] << ", " << NoteHz(keys[n]) << " Hz) sounds at " << hz << " Hz";
    }
}

TEST_F(SynthChannel, TwoProgramsOnOnePortHaveAStreamEach)
{
    TestInstallation install("channel-two-programs");
    StartSynth(install);
    BlockView block;
    ASSERT_TRUE(block.Valid());
    SharedEvent firstOpen(L"first-open"), secondOpen(L"second-open"), closeFirst(L"close-first"),
        firstClosed(L"first-closed");
    ChildProcess first, second;
    ASSERT_TRUE(StartClient(first, L"--open --note 0 60 100 --signal-event " + firstOpen.Name() + L" --wait-event " +
                                       closeFirst.Name() + L" --close --signal-event " + firstClosed.Name() +
                                       L" --hold"));
    ASSERT_TRUE(StartClient(second, L"--open --note 0 64 100 --signal-event " + secondOpen.Name() + L" --hold"));
    ASSERT_TRUE(firstOpen.Wait(kClientTimeoutMs));
    ASSERT_TRUE(secondOpen.Wait(kClientTimeoutMs));
    ASSERT_TRUE(block.Drained(5000));

    // Both programs are listed on the first port, in process-id order.
    std::wstring text;
    StatusListing listing = ListingOfExitQuestion(&text);
    std::vector<DWORD> both = {first.Id(), second.Id()};
    std::sort(both.begin(), both.end());
    EXPECT_EQ(ListedIds(listing, L"Tessaline #1"), both) << Narrow(text);
    EXPECT_EQ(listing.size(), 1u) << Narrow(text);
    for (const ListedClient& client : listing[L"Tessaline #1"])
        EXPECT_TRUE(IsTestClientPath(client.path)) << Narrow(client.path);
    // Cancel keeps the synth running.
    EXPECT_NE(Tray(2000), nullptr);
    EXPECT_TRUE(m_synth.IsRunning());

    // The first program closes its port; the second one's stream stays.
    closeFirst.Signal();
    ASSERT_TRUE(firstClosed.Wait(kClientTimeoutMs));
    ASSERT_TRUE(block.Drained(5000));
    listing = ListingOfExitQuestion(&text);
    EXPECT_EQ(ListedIds(listing, L"Tessaline #1"), std::vector<DWORD>{second.Id()}) << Narrow(text);
    EXPECT_TRUE(m_synth.IsRunning());
}

TEST_F(SynthChannel, OneProgramOnTwoPortsIsListedUnderBoth)
{
    TestInstallation install("channel-two-ports");
    StartSynth(install);
    BlockView block;
    ASSERT_TRUE(block.Valid());
    SharedEvent opened(L"opened");
    ChildProcess client;
    ASSERT_TRUE(StartClient(client, L"--open --port 1 --open --note 0 60 100 --signal-event " + opened.Name() +
                                        L" --hold"));
    ASSERT_TRUE(opened.Wait(kClientTimeoutMs));
    ASSERT_TRUE(block.Drained(5000));

    std::wstring text;
    const StatusListing listing = ListingOfExitQuestion(&text);
    EXPECT_EQ(ListedIds(listing, L"Tessaline #1"), std::vector<DWORD>{client.Id()}) << Narrow(text);
    EXPECT_EQ(ListedIds(listing, L"Tessaline #2"), std::vector<DWORD>{client.Id()}) << Narrow(text);
    EXPECT_NE(text.find(L"=== Tessaline #1 ===\r\n* "), std::wstring::npos) << Narrow(text);
}

TEST_F(SynthChannel, WatchdogClosesProgramsThatDiedWithoutClosing)
{
    TestInstallation install("channel-watchdog");
    StartSynth(install, "WatchdogTimeout=4000\r\n");
    BlockView block;
    ASSERT_TRUE(block.Valid());

    // A program killed with its port open and a note sounding.
    SharedEvent opened(L"opened");
    ChildProcess killed;
    ASSERT_TRUE(StartClient(killed, L"--open --note 0 60 100 --signal-event " + opened.Name() + L" --hold"));
    ASSERT_TRUE(opened.Wait(kClientTimeoutMs));

    // A program that died in the middle of a SysEx: its open and two of the
    // three chunks, then nothing (a process id no program has).
    constexpr DWORD kGoneProgram = 0x3FFFFFFC;
    FakeWriter gone(kGoneProgram);
    ASSERT_TRUE(gone.Valid());
    std::vector<uint8_t> chunk(ring::kChunkBytes, 0x11);
    chunk[0] = 0xF0;
    ASSERT_TRUE(gone.Append(0, ring::kOpen));
    ASSERT_TRUE(gone.Append(0, ring::kLongChunk, 0, 3, chunk));
    chunk[0] = 0x12;
    ASSERT_TRUE(gone.Append(0, ring::kLongChunk, 1, 3, chunk));
    killed.Kill();
    ASSERT_TRUE(block.Drained(5000));
    const ULONGLONG lastSign = GetTickCount64();

    // Both streams exist for now.
    std::wstring text;
    const StatusListing listing = ListingOfExitQuestion(&text);
    std::vector<DWORD> both = {killed.Id(), kGoneProgram};
    std::sort(both.begin(), both.end());
    EXPECT_EQ(ListedIds(listing, L"Tessaline #1"), both) << Narrow(text);

    // At the second sweep after their last entry (8 s) both are gone: the
    // exit finds nobody to ask about. Asked again while someone is still
    // listed, with a little slack for a busy machine.
    std::optional<DWORD> exitCode;
    while (!exitCode) {
        Sleep(1000);
        HWND box = AskToExit();
        if (!box) {
            exitCode = m_synth.WaitExit(kStartTimeoutMs);
            break;
        }
        text = MessageBoxText(box);
        ASSERT_TRUE(Answer(box, IDCANCEL));
        ASSERT_LT(GetTickCount64() - lastSign, 10000u) << "still listed:\n" << Narrow(text);
    }
    EXPECT_EQ(exitCode, std::optional<DWORD>(0));
}

TEST_F(SynthChannel, ExitQuestionCanBeAskedAgainAndOverruled)
{
    TestInstallation install("channel-exit-question");
    StartSynth(install);
    BlockView block;
    ASSERT_TRUE(block.Valid());
    SharedEvent opened(L"opened");
    ChildProcess client;
    ASSERT_TRUE(StartClient(client, L"--open --note 0 60 100 --signal-event " + opened.Name() + L" --hold"));
    ASSERT_TRUE(opened.Wait(kClientTimeoutMs));
    ASSERT_TRUE(block.Drained(5000));

    HWND box = AskToExit();
    ASSERT_NE(box, nullptr);
    const std::wstring text = MessageBoxText(box);
    EXPECT_EQ(WindowText(box), L"Ambrella Tessaline");
    const StatusListing listing = ParseStatus(text);
    ASSERT_EQ(ListedIds(listing, L"Tessaline #1"), std::vector<DWORD>{client.Id()}) << Narrow(text);
    const std::wstring line = L"=== Tessaline #1 ===\r\n* " + listing.at(L"Tessaline #1").front().path + L" (#" +
                              std::to_wstring(client.Id()) + L")\r\n";
    EXPECT_NE(text.find(line), std::wstring::npos) << Narrow(text);
    EXPECT_TRUE(IsTestClientPath(listing.at(L"Tessaline #1").front().path)) << Narrow(text);
    EXPECT_NE(GetDlgItem(box, IDCANCEL), nullptr);
    EXPECT_NE(GetDlgItem(box, IDTRYAGAIN), nullptr);
    EXPECT_NE(GetDlgItem(box, IDCONTINUE), nullptr);
    Sleep(500);
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);
    EXPECT_TRUE(SaveScreenshot(TestInstallation::ScreenshotPath("open-devices")));

    // Try Again asks once more: the program is still there.
    ASSERT_TRUE(Answer(box, IDTRYAGAIN));
    box = WaitForMessageBox(m_synth.Id(), 10000);
    ASSERT_NE(box, nullptr) << "Try Again did not ask again";
    EXPECT_EQ(MessageBoxText(box), text);

    // Continue ends the synth although the program is connected.
    ASSERT_TRUE(PressButton(box, IDCONTINUE));
    EXPECT_EQ(m_synth.WaitExit(kStartTimeoutMs), std::optional<DWORD>(0));
    EXPECT_TRUE(client.IsRunning());
}

}  // namespace
