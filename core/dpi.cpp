#include "core/dpi.h"

namespace {
DpiFunctions g_dpi;

template <typename T>
void Resolve(HMODULE module, const char* name, T& target)
{
    target = module ? reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}
} // namespace

void ResolveDpiFunctions()
{
    // Loaded, never freed: the table is used until the process ends.
    HMODULE shcore = ::LoadLibraryW(L"shcore.dll");
    HMODULE user32 = ::LoadLibraryW(L"user32.dll");
    Resolve(shcore, "GetDpiForMonitor", g_dpi.GetDpiForMonitor);
    Resolve(user32, "GetSystemMetricsForDpi", g_dpi.GetSystemMetricsForDpi);
    Resolve(user32, "SetDialogDpiChangeBehavior", g_dpi.SetDialogDpiChangeBehavior);
    Resolve(user32, "SystemParametersInfoForDpi", g_dpi.SystemParametersInfoForDpi);
    Resolve(user32, "AdjustWindowRectExForDpi", g_dpi.AdjustWindowRectExForDpi);
}

const DpiFunctions& Dpi() { return g_dpi; }
