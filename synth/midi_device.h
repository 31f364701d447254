// One synth port ("Tessaline #n"): its mixer state and the client programs
// that play to it, one ClientStream each, keyed by process id.
//
// Locking:
//  - The map lock guards the client map. Messages (WithClient) and walks
//    (ForEachClient) hold it shared, and only for the duration of the callback;
//    inserting or removing a record holds it exclusively for a map operation,
//    never while a stream is created or freed. So the listen thread waits at
//    most for another thread's short walk.
//  - Each record serialises its own stream's creation and release (see
//    ClientStream). Open and Close (a reload) work on a snapshot of the
//    records, one client at a time. A client's open or close hands the
//    making or freeing of its stream to the engine's stream worker, so the
//    listen thread never waits for a stream.
//  - Records are shared: one that CloseClient removes while a reload still
//    holds it is retired (no stream is made for it) and goes when both let go.
// Callbacks must not call OpenClient, CloseClient, Open or Close, and must not
// re-enter WithClient or ForEachClient on the same port.
#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mixer/mixer_owner.h"
#include "synth/client_stream.h"
#include "synth/srw_lock.h"

class CMidiDevice : public IMixerOwner {
public:
    explicit CMidiDevice(DWORD portIndex);
    ~CMidiDevice() override;

    DWORD GetLevel() override;
    std::wstring GetChannelInstrument(DWORD channel) override;
    std::wstring GetName() const override;
    void ApplyMixLevel(DWORD channel) override;

    DWORD PortIndex() const { return m_portIndex; }

    // Creates the streams of every client (restore: from their saved states).
    // false when the engine is not initialised or a stream failed.
    bool Open(bool restore);
    // Frees every client's stream (saveState: keeps its MIDI state); the records stay.
    void Close(bool saveState);

    // Returns the client's record, creating it when new; the engine's stream
    // worker makes its stream. The record is valid until CloseClient for that
    // id (listen thread or watchdog).
    ClientStream* OpenClient(DWORD processId);
    // Removes the client's record; the stream worker frees its stream. False
    // for an unknown id, so of two threads closing one client only one counts it.
    bool CloseClient(DWORD processId);
    // Run as every CloseClient begins, before the record is looked up: lets a
    // test line up two closes of one client.
    using CloseHook = void (*)(DWORD processId);
    static void SetCloseHookForTests(CloseHook hook);
    // Frees every client (port destruction).
    void CloseAllClients();

    // Calls f(ClientStream&) under the map lock; false when the client is absent.
    template <class F>
    bool WithClient(DWORD processId, F&& f) {
        SharedGuard guard(m_mapLock);
        auto it = m_clients.find(processId);
        if (it == m_clients.end()) return false;
        f(*it->second);
        return true;
    }

    // Calls f(ClientStream&) for every client in process-id order, under the map lock.
    template <class F>
    void ForEachClient(F&& f) {
        SharedGuard guard(m_mapLock);
        for (auto& entry : m_clients) f(*entry.second);
    }

    size_t ClientCount() const;

    // Note-activity lights, written by the clients' message handling.
    void SetChannelActive(DWORD channel, bool active);
    void ClearChannelActivity();

    bool MixerStateLoaded() const { return m_mixerStateLoaded; }
    // Reads the port's mixer keys from the configuration file once.
    void LoadMixerStateOnce();

private:
    std::vector<std::shared_ptr<ClientStream>> Snapshot() const;

    const DWORD m_portIndex;
    mutable SrwLock m_mapLock;
    std::map<DWORD, std::shared_ptr<ClientStream>> m_clients;
    bool m_mixerStateLoaded = false;
};
