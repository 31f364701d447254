// WASAPI output: shared mode, event-driven (timer-driven where the event mode
// is refused), our rate and float stereo handed to the audio engine's own
// converter; one real-time ("Pro Audio") thread per open output. An output
// that follows the default device reopens when the default changes; an
// output whose device disappears carries on on the default device.
#include <windows.h>
#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "bass.h"
#include "encode/win/wide_text.h"
#include "output/audio_endpoint.h"

#ifndef AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM
#define AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM 0x80000000
#endif
#ifndef AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY
#define AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY 0x08000000
#endif

namespace tsl::output {
namespace {

// PKEY_Device_FriendlyName, spelt out so no GUID library is needed.
const PROPERTYKEY kFriendlyName = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** operator&() {
        Reset();
        return &p_;
    }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// COM for the calling thread, undone only if this call did it.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }

private:
    HRESULT hr_;
};

std::string Ansi(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(size_t(n - 1));
    return s;
}

std::wstring IdOf(IMMDevice* d) {
    LPWSTR id = nullptr;
    if (FAILED(d->GetId(&id)) || !id) return {};
    std::wstring s = id;
    CoTaskMemFree(id);
    return s;
}

int ErrorOf(HRESULT hr) {
    switch (hr) {
    case AUDCLNT_E_DEVICE_IN_USE:
    case AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED: return BASS_ERROR_BUSY;
    case AUDCLNT_E_UNSUPPORTED_FORMAT: return BASS_ERROR_FORMAT;
    case AUDCLNT_E_DEVICE_INVALIDATED:
    case HRESULT_FROM_WIN32(ERROR_NOT_FOUND): return BASS_ERROR_DEVICE;
    default: return BASS_ERROR_DRIVER;
    }
}

class WasapiEndpoint;

// Tells an endpoint that follows the default device when it changes.
class DefaultWatcher final : public IMMNotificationClient {
public:
    explicit DefaultWatcher(std::atomic<bool>& flag) : flag_(flag) {}
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (!n) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient)) {
            *out = static_cast<IMMNotificationClient*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
        if (flow == eRender && role == eConsole) flag_.store(true);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

private:
    std::atomic<bool>& flag_;
    std::atomic<ULONG> refs_{1};
};

class WasapiEndpoint final : public AudioEndpoint {
public:
    WasapiEndpoint(std::wstring id, bool followDefault, uint32_t rate, RenderSource& source)
        : id_(std::move(id)), follow_(followDefault || id_.empty()), rate_(rate), source_(source),
          event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    ~WasapiEndpoint() override {
        stop_.store(true);
        SetEvent(event_);
        if (thread_.joinable()) thread_.join();
        CloseHandle(event_);
    }

    // Starts the thread and waits for the first open; BASS_OK or an error.
    int Start() {
        std::promise<int> opened;
        auto result = opened.get_future();
        thread_ = std::thread([this, &opened] { Run(&opened); });
        const int error = result.get();
        if (error != BASS_OK) {
            stop_.store(true);
            SetEvent(event_);
            thread_.join();
        }
        return error;
    }

    uint32_t LatencyMs() const noexcept override { return latencyMs_.load(); }
    uint32_t MinBufferMs() const noexcept override { return periodMs_.load(); }
    uint64_t FramesPlayed() const noexcept override { return played_.load(std::memory_order_acquire); }

private:
    struct Session {
        ComPtr<IMMDevice> device;
        ComPtr<IAudioClient> client;
        ComPtr<IAudioRenderClient> render;
        UINT32 bufferFrames = 0;
        uint32_t outChannels = 2;
        bool polling = false;
        DWORD pollMs = 5;
    };

    HRESULT Open(IMMDeviceEnumerator* en, Session& s, bool useDefault) {
        HRESULT hr = useDefault ? en->GetDefaultAudioEndpoint(eRender, eConsole, &s.device)
                                : en->GetDevice(id_.c_str(), &s.device);
        if (FAILED(hr)) return hr;
        if (FAILED(hr = s.device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                           reinterpret_cast<void**>(&s.client))))
            return hr;
        REFERENCE_TIME period = 100000;
        s.client->GetDevicePeriod(&period, nullptr);
        WAVEFORMATEX fmt{};
        fmt.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
        fmt.nChannels = 2;
        fmt.nSamplesPerSec = rate_;
        fmt.wBitsPerSample = 32;
        fmt.nBlockAlign = 8;
        fmt.nAvgBytesPerSec = rate_ * 8;
        const DWORD convert = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
        // Event mode first; a driver (or Wine back end) that refuses it gets a
        // timer-driven buffer of a few periods instead.
        hr = s.client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK | convert, 0, 0, &fmt,
                                  nullptr);
        if (SUCCEEDED(hr)) hr = s.client->SetEventHandle(event_);
        if (FAILED(hr)) {
            s.client.Reset();
            if (FAILED(hr = s.device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                               reinterpret_cast<void**>(&s.client))))
                return hr;
            s.polling = true;
            hr = s.client->Initialize(AUDCLNT_SHAREMODE_SHARED, convert, period * 4, 0, &fmt, nullptr);
            if (FAILED(hr)) return hr;
        }
        s.pollMs = DWORD(std::max<REFERENCE_TIME>(1, period / 20000));
        if (FAILED(hr = s.client->GetBufferSize(&s.bufferFrames))) return hr;
        if (FAILED(hr = s.client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&s.render))))
            return hr;
        REFERENCE_TIME latency = 0;
        s.client->GetStreamLatency(&latency);
        periodMs_.store(uint32_t((period + 9999) / 10000));
        latencyMs_.store(uint32_t((latency + 9999) / 10000) + uint32_t(uint64_t(s.bufferFrames) * 1000 / rate_));
        return s.client->Start();
    }

    // Fills what the device has room for. False when the device has gone.
    bool Feed(Session& s) {
        UINT32 padding = 0;
        if (FAILED(s.client->GetCurrentPadding(&padding))) return false;
        const UINT32 frames = s.bufferFrames - padding;
        if (!frames) return true;
        BYTE* data = nullptr;
        if (FAILED(s.render->GetBuffer(frames, &data))) return false;
        source_.Render(reinterpret_cast<float*>(data), frames);
        written_ += frames;
        played_.store(written_ > s.bufferFrames ? written_ - s.bufferFrames : 0, std::memory_order_release);
        return SUCCEEDED(s.render->ReleaseBuffer(frames, 0));
    }

    void Run(std::promise<int>* opened) {
        ComScope com;
        DWORD taskIndex = 0;
        HANDLE task = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
        if (!task) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        ComPtr<IMMDeviceEnumerator> en;
        HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                      reinterpret_cast<void**>(&en));
        DefaultWatcher* watcher = nullptr;
        if (SUCCEEDED(hr) && follow_) {
            watcher = new DefaultWatcher(reopen_);
            en->RegisterEndpointNotificationCallback(watcher);
        }
        bool useDefault = id_.empty();
        while (!stop_.load()) {
            Session s;
            if (SUCCEEDED(hr)) hr = Open(en.Get(), s, useDefault);
            if (opened) {
                opened->set_value(SUCCEEDED(hr) ? BASS_OK : ErrorOf(hr));
                opened = nullptr;
                if (FAILED(hr)) break;
            }
            if (FAILED(hr)) {
                // The device went away: keep time on the default device, retrying calmly.
                useDefault = true;
                hr = S_OK;
                WaitForSingleObject(event_, 200);
                continue;
            }
            reopen_.store(false);
            while (!stop_.load() && !reopen_.load()) {
                WaitForSingleObject(event_, s.polling ? s.pollMs : 200);
                if (!Feed(s)) {
                    useDefault = true; // device lost: follow the default from now on
                    break;
                }
            }
            if (reopen_.load() && follow_) useDefault = true;
            s.client->Stop();
        }
        if (watcher) {
            en->UnregisterEndpointNotificationCallback(watcher);
            watcher->Release();
        }
        if (task) AvRevertMmThreadCharacteristics(task);
    }

    const std::wstring id_;
    const bool follow_;
    const uint32_t rate_;
    RenderSource& source_;
    HANDLE event_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> reopen_{false};
    std::atomic<uint32_t> latencyMs_{20}, periodMs_{10};
    std::atomic<uint64_t> played_{0};
    uint64_t written_ = 0; // endpoint thread
};

class WasapiBackend final : public AudioBackend {
public:
    std::vector<EndpointInfo> Enumerate() override {
        std::vector<EndpointInfo> list;
        ComScope com;
        ComPtr<IMMDeviceEnumerator> en;
        if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                    reinterpret_cast<void**>(&en))))
            return list;
        std::wstring defaultId;
        ComPtr<IMMDevice> def;
        if (SUCCEEDED(en->GetDefaultAudioEndpoint(eRender, eConsole, &def))) defaultId = IdOf(def.Get());
        ComPtr<IMMDeviceCollection> all;
        UINT count = 0;
        if (FAILED(en->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &all)) || FAILED(all->GetCount(&count)))
            return list;
        for (UINT i = 0; i < count; ++i) {
            ComPtr<IMMDevice> d;
            if (FAILED(all->Item(i, &d))) continue;
            EndpointInfo e;
            const std::wstring id = IdOf(d.Get());
            e.id = encode::WideToUtf8(id);
            e.isDefault = id == defaultId;
            ComPtr<IPropertyStore> props;
            PROPVARIANT v;
            PropVariantInit(&v);
            if (SUCCEEDED(d->OpenPropertyStore(STGM_READ, &props)) && SUCCEEDED(props->GetValue(kFriendlyName, &v)) &&
                v.vt == VT_LPWSTR)
                e.name = Ansi(v.pwszVal);
            PropVariantClear(&v);
            if (e.name.empty()) e.name = "Output " + std::to_string(i + 1);
            list.push_back(std::move(e));
        }
        return list;
    }

    std::unique_ptr<AudioEndpoint> Open(const std::string& id, bool followDefault, uint32_t rate,
                                        RenderSource& source, int& error) override {
        auto ep = std::make_unique<WasapiEndpoint>(encode::Utf8ToWide(id), followDefault, rate, source);
        error = ep->Start();
        return error == BASS_OK ? std::move(ep) : nullptr;
    }
};

} // namespace

AudioBackend& AudioBackend::Get() {
    static WasapiBackend backend;
    return backend;
}

} // namespace tsl::output
