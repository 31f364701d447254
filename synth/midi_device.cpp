#include "synth/midi_device.h"

#include <atomic>
#include <vector>

#include "core/settings.h"
#include "synth/synth_engine.h"

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

std::vector<std::shared_ptr<ClientStream>> CMidiDevice::Snapshot() const {
    SharedGuard guard(m_mapLock);
    std::vector<std::shared_ptr<ClientStream>> clients;
    clients.reserve(m_clients.size());
    for (const auto& entry : m_clients) clients.push_back(entry.second);
    return clients;
}

bool CMidiDevice::Open(bool restore) {
    if (!g_Engine || !g_Engine->IsInitialized()) return false;
    bool ok = true;
    for (const auto& client : Snapshot()) {
        if (!client->CreateStream(restore)) ok = false;
    }
    if (!ok) return false;
    if (restore) return true;
    LoadMixerStateOnce();
    ApplyMixLevel(kAllChannels);
    return true;
}

void CMidiDevice::Close(bool saveState) {
    for (const auto& client : Snapshot()) client->FreeStream(saveState);
    ClearChannelActivity();
    RefreshMixerStrips(kAllChannels);
}

namespace {
// The engine's worker, or the caller itself without an engine (tests).
void Hand(std::shared_ptr<ClientStream> client, CStreamWorker::Job job) {
    if (g_Engine) {
        g_Engine->Streams().Post(std::move(client), job);
    } else {
        CStreamWorker::Perform(*client, job);
    }
}
}  // namespace

ClientStream* CMidiDevice::OpenClient(DWORD processId) {
    // Only the listen thread opens clients, so no other open of this id races.
    {
        SharedGuard guard(m_mapLock);
        auto it = m_clients.find(processId);
        if (it != m_clients.end()) return it->second.get();
    }
    auto client = std::make_shared<ClientStream>(this, processId);
    // Counts as a sign of life from the start: a watchdog sweep racing with the
    // open must not take the record before the caller has counted its entry.
    client->MessageCounter.store(1, std::memory_order_relaxed);
    // Messages that come before the stream wait for it.
    client->HoldCalls();
    ClientStream* raw = client.get();
    // Entered before its stream is made: a reload that takes its snapshot
    // after this sees the record, and one that took it before has already
    // brought the engine up again, so the creation succeeds.
    {
        ExclusiveGuard guard(m_mapLock);
        m_clients.emplace(processId, client);
    }
    Hand(std::move(client), CStreamWorker::Job::Make);
    RefreshMixerStrips(kAllChannels);
    return raw;
}

namespace {
std::atomic<CMidiDevice::CloseHook> g_closeHook{nullptr};
}  // namespace

void CMidiDevice::SetCloseHookForTests(CloseHook hook) { g_closeHook.store(hook, std::memory_order_relaxed); }

bool CMidiDevice::CloseClient(DWORD processId) {
    if (const CloseHook hook = g_closeHook.load(std::memory_order_relaxed)) hook(processId);
    std::shared_ptr<ClientStream> client;
    {
        ExclusiveGuard guard(m_mapLock);
        auto it = m_clients.find(processId);
        if (it == m_clients.end()) return false;
        client = std::move(it->second);
        m_clients.erase(it);
    }
    client->Leave();
    Hand(std::move(client), CStreamWorker::Job::Retire);
    RefreshMixerStrips(kAllChannels);
    return true;
}

void CMidiDevice::CloseAllClients() {
    std::map<DWORD, std::shared_ptr<ClientStream>> clients;
    {
        ExclusiveGuard guard(m_mapLock);
        clients.swap(m_clients);
    }
    for (auto& entry : clients) entry.second->Retire();
    clients.clear();
    ClearChannelActivity();
}
