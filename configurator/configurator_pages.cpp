#include "configurator/configurator_pages.h"

#include <array>

#include "configurator/configurator_tab_base.h"
#include "configurator/resource_ids.h"
#include "configurator/tab_about.h"
#include "configurator/tab_mapper.h"
#include "configurator/tab_options.h"
#include "configurator/tab_shortcuts.h"
#include "configurator/tab_soundfonts.h"
#include "configurator/tab_updates.h"

namespace {

std::array<ConfiguratorPageFactory, kPageCount>& Overrides()
{
    static std::array<ConfiguratorPageFactory, kPageCount> overrides;
    return overrides;
}

// A slot whose page is not there: the tab keeps its place and shows nothing.
class CEmptyPage : public CConfiguratorTabBase {
public:
    explicit CEmptyPage(CConfigurator& owner) : CConfiguratorTabBase(IDD_PAGE_EMPTY, owner) {}
};

}  // namespace

const wchar_t* ConfiguratorPageTitleKey(int page)
{
    static const wchar_t* const keys[kPageCount] = {L"cfg.sf.tab",  L"cfg.midi.tab", L"cfg.opt.tab",
                                                    L"cfg.key.tab", L"cfg.upd.tab",  L"cfg.about.tab"};
    return page >= 0 && page < kPageCount ? keys[page] : L"";
}

std::unique_ptr<CConfiguratorTabBase> MakeConfiguratorPage(int slot, CConfigurator& owner)
{
    if (slot >= 0 && slot < kPageCount && Overrides()[static_cast<size_t>(slot)])
        return Overrides()[static_cast<size_t>(slot)](owner);
    switch (slot) {
    case kPageSoundFonts:
        return std::make_unique<CConfiguratorTabSoundFonts>(owner);
    case kPageMidiMapper:
        return std::make_unique<CConfiguratorTabDefaultDevice>(owner);
    case kPageOptions:
        return std::make_unique<CConfiguratorTabOptions>(owner);
    case kPageShortcuts:
        return std::make_unique<CConfiguratorTabShortcuts>(owner);
    case kPageUpdates:
        return std::make_unique<CConfiguratorTabUpdates>(owner);
    case kPageAbout:
        return std::make_unique<CConfiguratorTabAbout>(owner);
    default:
        return std::make_unique<CEmptyPage>(owner);
    }
}

void OverrideConfiguratorPage(int slot, ConfiguratorPageFactory factory)
{
    if (slot >= 0 && slot < kPageCount)
        Overrides()[static_cast<size_t>(slot)] = std::move(factory);
}
