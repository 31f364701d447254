// Dialog templates built in memory, for tests of dialog classes that would
// otherwise need a resource script: the same bytes the resource compiler makes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tsltest {

class DialogTemplate {
public:
    // Dialog units; DS_SETFONT is added, with "MS Shell Dlg" 8 points.
    DialogTemplate(DWORD style, short x, short y, short cx, short cy, const std::wstring& title);
    // `className` a system class name ("BUTTON", "EDIT", "STATIC", ...).
    DialogTemplate& Add(const std::wstring& className, const std::wstring& text, WORD id, DWORD style, short x,
                        short y, short cx, short cy);
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    void Align();
    void PutString(const std::wstring& s);

    std::vector<WORD> m_words;
};

} // namespace tsltest
