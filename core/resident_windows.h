// The single-instance windows of the resident synth (configurator, converter):
// created on first use, otherwise restored and brought to the front.
#pragma once

#include <functional>

#include "ui/win32xx/wnd.h"

class CResidentWindows {
public:
    // Each window kind registers how it is created; until a kind is registered,
    // a request for it opens nothing.
    using Factory = std::function<Win32xx::CWnd*(HWND owner)>;
    void SetConfiguratorFactory(Factory f) { m_configuratorFactory = std::move(f); }
    void SetConverterFactory(Factory f) { m_converterFactory = std::move(f); }

    void OpenConfigurator() { Open(m_configurator, m_configuratorFactory); }
    void OpenConverter() { Open(m_converter, m_converterFactory); }
    Win32xx::CWnd* Configurator() const noexcept { return Alive(m_configurator); }
    Win32xx::CWnd* Converter() const noexcept { return Alive(m_converter); }
    void DestroyAll();

private:
    static Win32xx::CWnd* Alive(Win32xx::CWnd* w) noexcept { return w && w->IsWindow() ? w : nullptr; }
    void Open(Win32xx::CWnd*& slot, const Factory& factory);

    Win32xx::CWnd* m_configurator = nullptr;
    Win32xx::CWnd* m_converter = nullptr;
    Factory m_configuratorFactory;
    Factory m_converterFactory;
};

CResidentWindows& ResidentWindows();

// The single-instance gate's mutex "Tessaline_Synth".
void CloseSingleInstanceMutex();
