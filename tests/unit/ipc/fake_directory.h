// Ports and clients without a synthesizer: records what the channel server
// asks of them, for the ring and watchdog tests.
#pragma once

#include "ipc/client_directory.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct RecordedCall {
    DWORD port;
    DWORD processId;
    ClientAction action;
    uint32_t param1;
    uint32_t param2;
    std::vector<uint8_t> data;
};

struct RecordedClose {
    DWORD port;
    DWORD processId;
    ULONGLONG tick;
};

class FakeDirectory : public IClientDirectory {
public:
    DWORD limit = 2;
    // Run (outside the directory's lock) when a call is delivered or a client
    // closed: a test makes the listen thread or the watchdog busy there.
    std::function<void()> onDeliver;
    std::function<void()> onClose;

    DWORD PortLimit() override { return limit; }
    std::wstring PortName(DWORD port) override { return L"Tessaline #" + std::to_wstring(port + 1); }

    bool Deliver(DWORD port, DWORD processId, const ClientCall& call) override
    {
        if (onDeliver)
            onDeliver();
        std::lock_guard guard(m_lock);
        Client* client = Find(port, processId);
        if (!client)
            return false;
        client->counter.fetch_add(1);
        calls.push_back({port, processId, call.action, call.param1, call.param2,
                         std::vector<uint8_t>(call.data, call.data + call.length)});
        return true;
    }

    void Open(DWORD port, DWORD processId) override
    {
        std::lock_guard guard(m_lock);
        auto& client = m_ports[port][processId];
        client = std::make_unique<Client>();
        client->counter = 1;
        client->path = L"C:\\Programs\\client" + std::to_wstring(processId) + L".exe";
        ++opens;
    }

    bool Close(DWORD port, DWORD processId) override
    {
        if (onClose)
            onClose();
        std::lock_guard guard(m_lock);
        if (!m_ports[port].erase(processId))
            return false;
        closes.push_back({port, processId, GetTickCount64()});
        return true;
    }

    size_t ClientCount(DWORD port) override
    {
        std::lock_guard guard(m_lock);
        return m_ports[port].size();
    }

    void ForEachCounter(DWORD port, const std::function<void(DWORD, std::atomic<uint32_t>&)>& visit) override
    {
        std::lock_guard guard(m_lock);
        for (auto& [processId, client] : m_ports[port])
            visit(processId, client->counter);
    }

    void ForEachClient(DWORD port, bool withFigures, const std::function<void(const ClientInfo&)>& visit) override
    {
        std::lock_guard guard(m_lock);
        for (auto& [processId, client] : m_ports[port]) {
            ClientInfo info;
            info.processId = processId;
            info.executablePath = client->path;
            if (withFigures) {
                info.voices = 12;
                info.renderingPercent = 3;
                info.updatePeriodMs = 1;
            }
            visit(info);
        }
    }

    // Thread-safe snapshots for the tests.
    bool HasClient(DWORD port, DWORD processId)
    {
        std::lock_guard guard(m_lock);
        return Find(port, processId) != nullptr;
    }
    size_t CallCount()
    {
        std::lock_guard guard(m_lock);
        return calls.size();
    }
    std::vector<RecordedCall> Calls()
    {
        std::lock_guard guard(m_lock);
        return calls;
    }
    std::vector<RecordedClose> Closes()
    {
        std::lock_guard guard(m_lock);
        return closes;
    }
    int Opens()
    {
        std::lock_guard guard(m_lock);
        return opens;
    }

private:
    struct Client {
        std::atomic<uint32_t> counter{0};
        std::wstring path;
    };
    Client* Find(DWORD port, DWORD processId)
    {
        auto& clients = m_ports[port];
        auto it = clients.find(processId);
        return it == clients.end() ? nullptr : it->second.get();
    }

    std::mutex m_lock;
    std::map<DWORD, std::map<DWORD, std::unique_ptr<Client>>> m_ports;
    std::vector<RecordedCall> calls;
    std::vector<RecordedClose> closes;
    int opens = 0;
};
