// The dialog base: DPI set-up and DPI changes scale the window, its controls,
// their resizer entries, the minimum size and the font together; modeless
// windows are deleted only through the registry, modal ones never.
#include <gtest/gtest.h>

#include "support/dialog_template.h"
#include "ui/deferred_delete.h"
#include "ui/dpi_dialog.h"
#include "ui/file_dialogs.h"

#include <commdlg.h>

#include <cmath>

namespace {

constexpr WORD kEdit = 100, kButton = 101;

tsltest::DialogTemplate Template()
{
    tsltest::DialogTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME, 0, 0, 200, 100,
                              L"DPI test");
    t.Add(L"EDIT", L"text", kEdit, WS_BORDER | ES_AUTOHSCROLL, 7, 7, 120, 14);
    t.Add(L"BUTTON", L"OK", kButton, BS_PUSHBUTTON, 143, 79, 50, 14);
    return t;
}

class TestDialog : public CDpiAwareDialog {
public:
    explicit TestDialog(const DLGTEMPLATE* t) : CDpiAwareDialog(t) {}
    int afterDpiChanges = 0;
    int finalDestroys = 0;
    bool deleteItself = false;
    bool* destroyedFlag = nullptr;
    ~TestDialog() override
    {
        if (destroyedFlag)
            *destroyedFlag = true;
    }

protected:
    BOOL OnInitDialog() override
    {
        Resizer().AddChild(::GetDlgItem(m_hWnd, kEdit), Win32xx::kAnchorLeft | Win32xx::kAnchorTop | Win32xx::kAnchorRight);
        Resizer().AddChild(::GetDlgItem(m_hWnd, kButton), Win32xx::kAnchorRight | Win32xx::kAnchorBottom);
        RECT r{};
        ::GetWindowRect(m_hWnd, &r);
        SetMinWindowRect({0, 0, (r.right - r.left) / 2, (r.bottom - r.top) / 2});
        return TRUE;
    }
    void AfterDpiChange() override { ++afterDpiChanges; }
    void OnFinalDestroy() override
    {
        ++finalDestroys;
        if (deleteItself)
            PostForDeletion();
    }
};

RECT ChildRect(HWND dialog, int id)
{
    RECT r{};
    HWND child = ::GetDlgItem(dialog, id);
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LONG FontHeight(HFONT font)
{
    LOGFONTW lf{};
    ::GetObjectW(font, sizeof(lf), &lf);
    return std::labs(lf.lfHeight);
}

void ExpectScaled(const RECT& before, const RECT& after, float f)
{
    // Positions are truncated once by the scaling and may move by a pixel in
    // the resizer's second pass.
    EXPECT_NEAR(after.left, before.left * f, 1.5);
    EXPECT_NEAR(after.top, before.top * f, 1.5);
    EXPECT_NEAR(after.right, before.right * f, 1.5);
    EXPECT_NEAR(after.bottom, before.bottom * f, 1.5);
}

TEST(DpiAwareDialog, DpiChangeScalesControlsFontMinimumAndResizerByTheSameFactor)
{
    auto t = Template();
    TestDialog dialog(t.Get());
    HWND hwnd = dialog.DoModeless(nullptr);
    ASSERT_TRUE(hwnd);
    const UINT startDpi = dialog.GetDpi();
    ASSERT_GT(startDpi, 0u);
    const UINT newDpi = startDpi * 3 / 2;

    const RECT edit = ChildRect(hwnd, kEdit), button = ChildRect(hwnd, kButton);
    const RECT minimum = dialog.MinWindowRect();
    const LONG fontBefore = FontHeight(CDpiAwareDialog::CreateMessageFont(startDpi));
    const auto entriesBefore = dialog.Resizer().Entries();
    // The system suggests a window whose client area is the old one scaled
    // (its frame is measured for the new DPI, which Wine keeps as it is).
    RECT window{}, client{};
    ::GetWindowRect(hwnd, &window);
    ::GetClientRect(hwnd, &client);
    const LONG frameX = (window.right - window.left) - client.right, frameY = (window.bottom - window.top) - client.bottom;
    RECT suggested{window.left, window.top, window.left + client.right * 3 / 2 + frameX,
                   window.top + client.bottom * 3 / 2 + frameY};

    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));

    EXPECT_EQ(dialog.GetDpi(), newDpi);
    EXPECT_FLOAT_EQ(dialog.GetScale(), newDpi / 96.0f);
    EXPECT_EQ(dialog.afterDpiChanges, 1);
    ExpectScaled(edit, ChildRect(hwnd, kEdit), 1.5f);
    ExpectScaled(button, ChildRect(hwnd, kButton), 1.5f);
    EXPECT_EQ(dialog.MinWindowRect().right, static_cast<LONG>(minimum.right * 1.5f));
    EXPECT_EQ(dialog.MinWindowRect().bottom, static_cast<LONG>(minimum.bottom * 1.5f));
    // The dialog and its controls use the message font of the new DPI.
    const LONG fontAfter = FontHeight(dialog.DialogFont());
    EXPECT_NEAR(fontAfter, fontBefore * 1.5, 1.0);
    auto controlFont = reinterpret_cast<HFONT>(::SendDlgItemMessageW(hwnd, kEdit, WM_GETFONT, 0, 0));
    EXPECT_EQ(controlFont, dialog.DialogFont());
    // Resizer entries follow, so a later resize keeps the scaled layout.
    ASSERT_EQ(dialog.Resizer().Entries().size(), entriesBefore.size());
    for (size_t i = 0; i < entriesBefore.size(); ++i) {
        ExpectScaled(entriesBefore[i].rect, dialog.Resizer().Entries()[i].rect, 1.5f);
        ExpectScaled(entriesBefore[i].parentClient, dialog.Resizer().Entries()[i].parentClient, 1.5f);
    }
    // The minimum size is what the window reports to the system.
    MINMAXINFO mmi{};
    ::SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    EXPECT_EQ(mmi.ptMinTrackSize.x, dialog.MinWindowRect().right);

    // The same DPI again changes nothing.
    ::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), 0);
    EXPECT_EQ(dialog.afterDpiChanges, 1);
    dialog.Destroy();
}

TEST(DpiAwareDialog, ResizingKeepsAnchoredControlsInPlace)
{
    auto t = Template();
    TestDialog dialog(t.Get());
    HWND hwnd = dialog.DoModeless(nullptr);
    const RECT edit = ChildRect(hwnd, kEdit), button = ChildRect(hwnd, kButton);
    RECT window{};
    ::GetWindowRect(hwnd, &window);
    ::SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top + 40,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT edit2 = ChildRect(hwnd, kEdit), button2 = ChildRect(hwnd, kButton);
    // Left and right anchors stretch; right and bottom move.
    EXPECT_EQ(edit2.left, edit.left);
    EXPECT_EQ(edit2.right, edit.right + 100);
    EXPECT_EQ(edit2.top, edit.top);
    EXPECT_EQ(button2.left, button.left + 100);
    EXPECT_EQ(button2.top, button.top + 40);
    EXPECT_EQ(button2.right - button2.left, button.right - button.left);
    dialog.Destroy();
}

TEST(DeferredDeletion, OnlyRegisteredWindowsAreDeletedAndOnlyOnce)
{
    auto t = Template();
    bool destroyed = false;
    auto* dialog = new TestDialog(t.Get());
    dialog->deleteItself = true;
    dialog->destroyedFlag = &destroyed;
    HWND hwnd = dialog->DoModeless(nullptr);
    ASSERT_TRUE(hwnd);
    const size_t before = PendingWindowCount();

    // A pointer nobody registered, as another program could post it, is ignored.
    TestDialog unregistered(t.Get());
    EXPECT_FALSE(DeletePendingWindow(reinterpret_cast<WPARAM>(&unregistered)));
    EXPECT_FALSE(DeletePendingWindow(0x12345678));
    EXPECT_FALSE(DeletePendingWindow(reinterpret_cast<WPARAM>(dialog))); // not destroyed yet

    ::DestroyWindow(hwnd);
    EXPECT_EQ(PendingWindowCount(), before + 1);
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(DeletePendingWindow(reinterpret_cast<WPARAM>(dialog)));
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(DeletePendingWindow(reinterpret_cast<WPARAM>(dialog))); // a second post of the same pointer
    EXPECT_EQ(PendingWindowCount(), before);
}

// A timer routine of the system's calling convention (stdcall on 32-bit
// Windows, which a lambda does not have).
void CALLBACK PressOkInActiveWindow(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    HWND active = ::GetActiveWindow();
    if (active)
        ::PostMessageW(active, WM_COMMAND, IDOK, 0);
}

TEST(DeferredDeletion, ModalDialogsAreNeverHandedOver)
{
    auto t = Template();
    TestDialog dialog(t.Get());
    const size_t before = PendingWindowCount();
    // End the modal loop from inside it, as the user's OK would.
    ::SetTimer(nullptr, 0, 10, &PressOkInActiveWindow);
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    EXPECT_EQ(dialog.finalDestroys, 1);
    EXPECT_EQ(PendingWindowCount(), before);
}

TEST(FileDialogs, ProgramFiltersBecomeSystemFiltersAndHooksAnswer)
{
    const std::wstring f = SystemFilter(L"Mixer states (*.tslms)|*.tslms|All files (*.*)|*.*|");
    EXPECT_EQ(f, std::wstring(L"Mixer states (*.tslms)\0*.tslms\0All files (*.*)\0*.*\0\0\0", 53));
    EXPECT_EQ(SystemFilter(L"A|*.a"), std::wstring(L"A\0*.a\0\0", 7));

    std::vector<FileDialogRequest> seen;
    SetFileDialogHook([&](const FileDialogRequest& r) {
        seen.push_back(r);
        return r.kind == FileDialogRequest::Kind::Save ? std::vector<std::wstring>{L"C:\\x.tslms"}
                                                       : std::vector<std::wstring>{};
    });
    EXPECT_EQ(SaveFileDialog(nullptr, L"Save", L"A|*.a|", L"tslms"), std::optional<std::wstring>(L"C:\\x.tslms"));
    EXPECT_FALSE(OpenFileDialog(nullptr, L"Load", L"A|*.a|").has_value());
    SetFileDialogHook(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    // Saving always asks before a file is overwritten.
    EXPECT_TRUE(seen[0].flags & OFN_OVERWRITEPROMPT);
    EXPECT_EQ(seen[0].defaultExt, L"tslms");
    EXPECT_TRUE(seen[1].flags & OFN_FILEMUSTEXIST);
}

} // namespace
