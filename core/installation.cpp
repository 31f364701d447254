#include "core/installation.h"

#include "core/message_box.h"

namespace {
// This build carries no driver registration yet; say so rather than pretend.
bool ReportNotAvailable(const wchar_t* what)
{
    ShowMessage(std::wstring(what) + L" is not available in this version of Tessaline.\n\n"
                L"Register Tessaline.dll by hand as described in the README.",
                MB_OK | MB_ICONERROR);
    return false;
}
} // namespace

bool RunDriverInstaller() { return ReportNotAvailable(L"Driver installation"); }

bool RunDriverRemover(bool) { return ReportNotAvailable(L"Driver removal"); }
