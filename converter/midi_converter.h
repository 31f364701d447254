// The converter's window: the list of MIDI files with their key shifts, the
// output folder, format and options, the start/cancel button, progress and
// log, list files, and the converter's own mixer (it is the mixer's owner).
//
// The conversion runs on a worker thread that reaches the window only through
// a CWorkerLink. The window is never destroyed while the worker runs: closing
// it, the tray's close and a restart all ask the worker to cancel and wait for
// it, answering its calls, before the window goes.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "converter/conversion_engine.h"
#include "converter/converter_file.h"
#include "converter/files_list_view.h"
#include "ipc/kernel_handle.h"
#include "mixer/mixer_owner.h"
#include "ui/dpi_dialog.h"

class CWorkerLink;

// Posted by the worker link, and by the worker when it has ended.
constexpr UINT WM_TSL_CONVERTER_CALLS = WM_APP + 0x341;
constexpr UINT WM_TSL_CONVERSION_ENDED = WM_APP + 0x342;

class CMidiConverter : public CDpiAwareDialog, public IMixerOwner, private IConversionHost {
public:
    // `services`: what rendering needs of the synthesizer (tests give their own).
    explicit CMidiConverter(ConversionServices services = ConversionServices::FromEngine());
    ~CMidiConverter() override;

    // Creates the modeless window without an owner and shows it.
    void Open();

    // IMixerOwner
    DWORD GetLevel() override { return 0; }
    std::wstring GetChannelInstrument(DWORD) override { return {}; }
    std::wstring GetName() const override { return L"MIDI Converter"; }
    void ApplyMixLevel(DWORD channel) override;

    void StartConversion();
    void CancelConversion();
    bool IsConverting() const noexcept { return static_cast<bool>(m_thread); }

    ConverterFile& AddFile(const std::wstring& path, const EncoderInfo* encoder);
    void RefreshFileList();
    void RecomputeOutputNames();
    // Reads the list file into a new list and replaces the current one only
    // when it could be read; false (after telling the user) otherwise.
    bool ImportFileList(const std::wstring& path);
    bool ExportFileList(const std::wstring& path);
    void SaveConverterSettings();
    void SetControlsEnabled(bool enabled);

    const std::vector<ConverterFile>& Files() const noexcept { return m_files; }
    const EncoderInfo* SelectedEncoder() const;

protected:
    BOOL OnInitDialog() override;
    INT_PTR DialogProc(UINT msg, WPARAM wparam, LPARAM lparam) override;
    void OnOK() override {}
    void OnCancel() override;
    void OnFinalDestroy() override;

private:
    // IConversionHost: the worker's calls, carried out on the window thread.
    void ClearLog() override;
    void Log(const std::wstring& line) override;
    void SetProgress(DWORD position) override;
    void SelectFile(size_t index) override;
    void SetBusy(bool busy) override;
    int Ask(const std::wstring& text, UINT flags) override;
    void OpenEncoderPages(const std::wstring& page, const std::wstring& folder) override;

    void OnCommand(WORD id, WORD code);
    void OnFilesDropped(HDROP drop);
    void OnGetDispInfo(NMLVDISPINFOW& info);
    void AddFilesFromDialog();
    void RemoveSelected();
    void ShiftSelectedKeys(int delta, bool reset);
    void BrowseFolder();
    void ImportFromDialog();
    void ExportFromDialog();
    void OnConversionEnded();
    // Cancels a running conversion and waits for its end, answering its calls.
    void WaitForWorker();
    void SetUpResizer();
    void CreateToolTips();
    std::wstring ControlText(int id) const;
    static DWORD WINAPI WorkerProc(void* param);

    ConversionServices m_services;
    std::vector<ConverterFile> m_files;
    CMidiFilesListView m_list;
    std::unique_ptr<CWorkerLink> m_link;
    CKernelHandle m_thread;
    std::atomic<bool> m_cancel{false};
    std::wstring m_mixerCaption;
    HWND m_toolTip = nullptr;
    bool m_closing = false;
};

// Adds `path` at the end of `files`; a record of the same file (letter case
// aside) is taken out first, so the file moves to the end with key shift 0.
ConverterFile& AddRecord(std::vector<ConverterFile>& files, const std::wstring& path, const EncoderInfo* encoder);

// Whether the process's converter window is converting (the tray's Exit waits for it).
bool IsConverterBusy();
// Registers the converter window with the resident windows.
void RegisterConverterWindow();
