// The status text of the debug report and of the open-ports question.
#include "fake_directory.h"

#include "core/message_box.h"
#include "ipc/ipc_server.h"

#include <gtest/gtest.h>

namespace {

struct Shown {
    int count = 0;
    UINT flags = 0;
    std::wstring title;
    int answer = IDTRYAGAIN;
};
Shown g_shown;

int Record(const std::wstring&, const std::wstring& title, UINT flags)
{
    ++g_shown.count;
    g_shown.flags = flags;
    g_shown.title = title;
    return g_shown.answer;
}

class StatusText : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_shown = {};
        SetMessageBoxHook(Record);
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }

    std::wstring Status(bool free, bool figures)
    {
        std::wstring text = L"before\r\n";
        server.GetStatusText(text, free, figures);
        return text;
    }

    FakeDirectory directory;
    CIpcServer server{directory, 8000};
};

TEST_F(StatusText, OneFreePortGivesExactlyItsTwoLines)
{
    directory.limit = 1;
    EXPECT_EQ(Status(true, false), L"before\r\n=== Tessaline #1 ===\r\n* <free>\r\n");
    EXPECT_EQ(Status(false, true), L"before\r\n");
}

TEST_F(StatusText, ClientsAreListedInProcessIdOrderWithOrWithoutFigures)
{
    directory.limit = 3;
    directory.Open(1, 4321);
    directory.Open(1, 99);
    EXPECT_EQ(Status(false, false), L"before\r\n"
                                    L"=== Tessaline #2 ===\r\n"
                                    L"* C:\\Programs\\client99.exe (#99)\r\n"
                                    L"* C:\\Programs\\client4321.exe (#4321)\r\n");
    EXPECT_EQ(Status(true, true), L"before\r\n"
                                  L"=== Tessaline #1 ===\r\n* <free>\r\n"
                                  L"=== Tessaline #2 ===\r\n"
                                  L"* C:\\Programs\\client99.exe (#99)\r\n"
                                  L"  voices:  12, rendering time%:  3%, update rate (ms):  1\r\n"
                                  L"* C:\\Programs\\client4321.exe (#4321)\r\n"
                                  L"  voices:  12, rendering time%:  3%, update rate (ms):  1\r\n"
                                  L"=== Tessaline #3 ===\r\n* <free>\r\n");
}

TEST_F(StatusText, OpenPortsCheckAsksOnlyWhenClientsAreOpen)
{
    directory.limit = 2;
    directory.Open(2, 5);  // a port beyond DevicesCount does not count
    EXPECT_EQ(server.CheckOpenPorts(), IDCONTINUE);
    EXPECT_EQ(g_shown.count, 0);

    directory.Open(0, 5);
    for (int answer : {IDTRYAGAIN, IDCANCEL, IDCONTINUE}) {
        g_shown.answer = answer;
        EXPECT_EQ(server.CheckOpenPorts(), answer);
    }
    EXPECT_EQ(g_shown.count, 3);
    EXPECT_EQ(g_shown.flags & MB_TYPEMASK, static_cast<UINT>(MB_CANCELTRYCONTINUE));
    EXPECT_EQ(g_shown.flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(g_shown.title, L"Ambrella Tessaline");
}

}  // namespace
