#include "support/dialog_template.h"

namespace tsltest {

namespace {
void PutDword(std::vector<WORD>& w, DWORD v)
{
    w.push_back(LOWORD(v));
    w.push_back(HIWORD(v));
}
} // namespace

DialogTemplate::DialogTemplate(DWORD style, short x, short y, short cx, short cy, const std::wstring& title)
{
    PutDword(m_words, style | DS_SETFONT);
    PutDword(m_words, 0); // extended style
    m_words.push_back(0); // item count, raised by Add
    m_words.push_back(static_cast<WORD>(x));
    m_words.push_back(static_cast<WORD>(y));
    m_words.push_back(static_cast<WORD>(cx));
    m_words.push_back(static_cast<WORD>(cy));
    m_words.push_back(0); // no menu
    m_words.push_back(0); // default class
    PutString(title);
    m_words.push_back(8);
    PutString(L"MS Shell Dlg");
}

void DialogTemplate::Align()
{
    // Items start on DWORD boundaries; the vector's storage is DWORD-aligned.
    if (m_words.size() % 2)
        m_words.push_back(0);
}

void DialogTemplate::PutString(const std::wstring& s)
{
    for (wchar_t c : s)
        m_words.push_back(static_cast<WORD>(c));
    m_words.push_back(0);
}

DialogTemplate& DialogTemplate::Add(const std::wstring& className, const std::wstring& text, WORD id, DWORD style,
                                    short x, short y, short cx, short cy)
{
    Align();
    PutDword(m_words, style | WS_CHILD | WS_VISIBLE);
    PutDword(m_words, 0);
    m_words.push_back(static_cast<WORD>(x));
    m_words.push_back(static_cast<WORD>(y));
    m_words.push_back(static_cast<WORD>(cx));
    m_words.push_back(static_cast<WORD>(cy));
    m_words.push_back(id);
    PutString(className);
    PutString(text);
    m_words.push_back(0); // no creation data
    m_words[4]++;         // cdit
    return *this;
}

} // namespace tsltest
