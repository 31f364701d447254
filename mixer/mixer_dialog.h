// The mixer window of one mixer owner (a synth port or the converter): sixteen
// channel strips and a master strip showing and changing the owner's state,
// with keyboard control, a context menu of whole-mixer commands, zoom, and a
// meter thread that keeps the activity lights and the level meter moving.
// Modeless, at most one per owner; it hands itself to the tray for deletion
// once its window is gone.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "mixer/mixer_channel.h"
#include "mixer/mixer_layout.h"
#include "ui/dpi_dialog.h"
#include "ui/gdi_object.h"

class IMixerOwner;
class CMixerArt;

// Context-menu commands.
constexpr UINT kMixerReset = 0x400;
constexpr UINT kMixerMuteAll = 0x401;
constexpr UINT kMixerUnmuteAll = 0x402;
constexpr UINT kMixerSoloAll = 0x403;
constexpr UINT kMixerUnsoloAll = 0x404;
constexpr UINT kMixerTopMost = 0x405;
constexpr UINT kMixerZoom100 = 0x406;  // 0x406-0x409: 100, 125, 150, 200 %
constexpr UINT kMixerLoad = 0x40A;
constexpr UINT kMixerSave = 0x40B;
constexpr UINT kMixerSystemMixer = 0x40C;
constexpr UINT kMixerCopyFrom = 0x40D;  // + port index
// Solo ratio r %: kMixerSoloRatioBase + port count + r.
constexpr UINT kMixerSoloRatioBase = 0x40F;

class CMixerDialog : public CDpiAwareDialog {
public:
    explicit CMixerDialog(IMixerOwner& owner);
    ~CMixerDialog() override;

    // Creates the modeless window (no parent) and registers it with its owner.
    void Open();
    IMixerOwner& Owner() const noexcept { return m_owner; }

    void RefreshStrip(DWORD channel);
    void RefreshMaster();
    void SelectStrip(int index);
    int SelectedStrip() const noexcept { return m_selected; }
    CMixerChannel& Strip(int index) { return *m_strips[index]; }
    void UpdateMeterThread();
    bool MeterThreadRunning() const noexcept { return m_meterThread != nullptr; }
    // Places the strips and sizes the window for "Zoom" at this window's DPI.
    void ApplyLayout();
    void ApplyTopMost();
    float LayoutScale() const noexcept { return m_layoutScale; }
    const CMixerArt& Art() const noexcept { return *m_art.load(); }

    // The context menu as it opens now (the caller destroys it), and its commands.
    HMENU BuildContextMenu() const;
    void RunCommand(UINT id);
    // Opens the context menu at the mouse, or at the window's corner when the
    // mouse is elsewhere, and runs the chosen command.
    void ShowContextMenu();
    // A key reaching the window; true when the mixer used it.
    bool OnKey(UINT msg, WPARAM key, LPARAM flags);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    BOOL PreTranslateMessage(MSG& msg) override;
    void AfterDpiChange() override;
    void OnFinalDestroy() override;

private:
    void OnDestroy();
    void StopMeterThread(DWORD timeoutMs);
    static DWORD WINAPI MeterThreadProc(void* param);
    void MeterLoop();
    void ChangeSelectedVolume(int delta, bool absolute, DWORD value);
    void RedrawAll();
    void LoadStateFromFile();
    void SaveStateToFile();
    void CopyStateFrom(DWORD port);
    void SetSoloRatio(DWORD percent);

    IMixerOwner& m_owner;
    CBrush m_background;
    HANDLE m_meterThread = nullptr;
    std::atomic<DWORD> m_meterStop{0};
    int m_selected = kMasterStrip;
    std::unique_ptr<CMixerChannel> m_strips[kStripCount];
    float m_layoutScale = 1.0f;
    std::atomic<const CMixerArt*> m_art{nullptr};
    HICON m_iconSmall = nullptr, m_iconLarge = nullptr;
};
