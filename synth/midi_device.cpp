#include "synth/midi_device.h"

#include <vector>

#include "core/settings.h"
#include "synth/synth_engine.h"

namespace {

// Serialises the slow lifecycle operations of one port.
class LifecycleGuard {
public:
    explicit LifecycleGuard(SrwLock& lock) : m_lock(lock) { m_lock.LockExclusive(); }
    ~LifecycleGuard() { m_lock.UnlockExclusive(); }
    LifecycleGuard(const LifecycleGuard&) = delete;
    LifecycleGuard& operator=(const LifecycleGuard&) = delete;

private:
    SrwLock& m_lock;
};

}  // namespace

CMidiDevice::CMidiDevice(DWORD portIndex) : m_portIndex(portIndex) {
    Label = portIndex == 0 ? std::wstring() : std::to_wstring(portIndex + 1);
}

CMidiDevice::~CMidiDevice() { CloseAllClients(); }

DWORD CMidiDevice::GetLevel() {
    DWORD loudest = 0;
    ForEachClient([&](ClientStream& client) {
        const DWORD level = client.GetLevel();
        if (level > loudest) loudest = level;
    });
    return loudest;
}

std::wstring CMidiDevice::GetChannelInstrument(DWORD channel) {
    std::wstring text;
    SharedGuard guard(m_mapLock);
    if (m_clients.empty()) return text;
    if (m_clients.size() > 1) return L"* multiple clients *";
    if (const wchar_t* name = m_clients.begin()->second->InstrumentName(channel)) text = name;
    return text;
}

std::wstring CMidiDevice::GetName() const { return PortName(m_portIndex); }

void CMidiDevice::ApplyMixLevel(DWORD channel) {
    ForEachClient([&](ClientStream& client) { client.ApplyMixLevel(channel); });
}

size_t CMidiDevice::ClientCount() const {
    SharedGuard guard(m_mapLock);
    return m_clients.size();
}

void CMidiDevice::SetChannelActive(DWORD channel, bool active) {
    if (channel < kAllChannels) ChannelActive[channel].store(active ? 1 : 0, std::memory_order_relaxed);
}

void CMidiDevice::ClearChannelActivity() {
    for (auto& active : ChannelActive) active.store(0, std::memory_order_relaxed);
}

void CMidiDevice::LoadMixerStateOnce() {
    if (m_mixerStateLoaded) return;
    LoadMixerState();
    m_mixerStateLoaded = true;
}

bool CMidiDevice::Open(bool restore) {
    if (!g_Engine || !g_Engine->IsInitialized()) return false;
    LifecycleGuard lifecycle(m_lifecycle);
    // Records are only removed under the lifecycle lock, which is held: the
    // map is stable without the map lock, so the listen thread keeps flowing.
    bool ok = true;
    for (auto& entry : m_clients) {
        if (!entry.second->CreateStream(restore)) ok = false;
    }
    if (!ok) return false;
    if (restore) return true;
    LoadMixerStateOnce();
    ApplyMixLevel(kAllChannels);
    return true;
}

void CMidiDevice::Close(bool saveState) {
    {
        LifecycleGuard lifecycle(m_lifecycle);
        for (auto& entry : m_clients) entry.second->FreeStream(saveState);
    }
    ClearChannelActivity();
    RefreshMixerStrips(kAllChannels);
}

ClientStream* CMidiDevice::OpenClient(DWORD processId) {
    LifecycleGuard lifecycle(m_lifecycle);
    {
        SharedGuard guard(m_mapLock);
        auto it = m_clients.find(processId);
        if (it != m_clients.end()) return it->second.get();
    }
    // The stream is created before the record is entered, so messages never
    // reach a half-built client and the map lock is not held meanwhile.
    auto client = std::make_unique<ClientStream>(this, processId);
    // Counts as a sign of life from the start: a watchdog sweep racing with the
    // open must not take the record before the caller has counted its entry.
    client->MessageCounter.store(1, std::memory_order_relaxed);
    client->CreateStream(false);
    ClientStream* raw = client.get();
    {
        ExclusiveGuard guard(m_mapLock);
        m_clients.emplace(processId, std::move(client));
    }
    RefreshMixerStrips(kAllChannels);
    return raw;
}

void CMidiDevice::CloseClient(DWORD processId) {
    LifecycleGuard lifecycle(m_lifecycle);
    std::unique_ptr<ClientStream> client;
    {
        ExclusiveGuard guard(m_mapLock);
        auto it = m_clients.find(processId);
        if (it == m_clients.end()) return;
        client = std::move(it->second);
        m_clients.erase(it);
    }
    // Out of the map: stopping its thread and freeing its stream holds no one up.
    client.reset();
    RefreshMixerStrips(kAllChannels);
}

void CMidiDevice::CloseAllClients() {
    LifecycleGuard lifecycle(m_lifecycle);
    std::map<DWORD, std::unique_ptr<ClientStream>> clients;
    {
        ExclusiveGuard guard(m_mapLock);
        clients.swap(m_clients);
    }
    clients.clear();
    ClearChannelActivity();
}
