// A client directory that counts, per port and client program, what the
// channel server delivers: the end-to-end tests' exact tally of the messages
// that reached the streams. It stands alone (counting only) or in front of
// another directory (the engine's ports), counting what that one accepted.
#pragma once

#include "ipc/client_directory.h"

#include <map>
#include <mutex>
#include <utility>

struct ClientTally {
    uint64_t shortMessages = 0;
    uint64_t longChunks = 0;
    uint64_t opens = 0;   // streams made (a keep-alive re-open after a restart counts again)
    uint64_t closes = 0;  // streams destroyed (close entries and the watchdog)
    uint64_t other = 0;   // resets, all notes off, signs of life
};

class CountingDirectory : public IClientDirectory {
public:
    explicit CountingDirectory(IClientDirectory* inner = nullptr, DWORD portLimit = 4) : m_inner(inner), m_limit(portLimit) {}

    DWORD PortLimit() override { return m_inner ? m_inner->PortLimit() : m_limit; }
    std::wstring PortName(DWORD port) override { return m_inner ? m_inner->PortName(port) : L"#" + std::to_wstring(port + 1); }

    bool Deliver(DWORD port, DWORD processId, const ClientCall& call) override
    {
        const bool delivered = m_inner ? m_inner->Deliver(port, processId, call) : IsOpen(port, processId);
        if (delivered) {
            std::lock_guard guard(m_lock);
            ClientTally& tally = m_tally[{port, processId}];
            if (call.action == ClientAction::ShortMessage)
                ++tally.shortMessages;
            else if (call.action == ClientAction::LongMessage)
                ++tally.longChunks;
            else
                ++tally.other;
        }
        return delivered;
    }
    void Open(DWORD port, DWORD processId) override
    {
        if (m_inner)
            m_inner->Open(port, processId);
        std::lock_guard guard(m_lock);
        m_open[{port, processId}] = true;
        ++m_tally[{port, processId}].opens;
    }
    bool Close(DWORD port, DWORD processId) override
    {
        bool closed;
        if (m_inner) {
            closed = m_inner->Close(port, processId);
            std::lock_guard guard(m_lock);
            m_open.erase({port, processId});
        } else {
            std::lock_guard guard(m_lock);
            closed = m_open.erase({port, processId}) != 0;
        }
        if (closed) {
            std::lock_guard guard(m_lock);
            ++m_tally[{port, processId}].closes;
        }
        return closed;
    }
    size_t ClientCount(DWORD port) override
    {
        if (m_inner)
            return m_inner->ClientCount(port);
        std::lock_guard guard(m_lock);
        size_t count = 0;
        for (const auto& [key, open] : m_open)
            count += key.first == port;
        return count;
    }
    void ForEachCounter(DWORD port, const std::function<void(DWORD, std::atomic<uint32_t>&)>& visit) override
    {
        if (m_inner) {
            m_inner->ForEachCounter(port, visit);
            return;
        }
        // Standing alone, every client counts as alive: no watchdog closes.
        std::atomic<uint32_t> alive{1};
        std::lock_guard guard(m_lock);
        for (const auto& [key, open] : m_open) {
            if (key.first == port) {
                alive = 1;
                visit(key.second, alive);
            }
        }
    }
    void ForEachClient(DWORD port, bool withFigures, const std::function<void(const ClientInfo&)>& visit) override
    {
        if (m_inner)
            m_inner->ForEachClient(port, withFigures, visit);
    }

    // Windows hands the id of an ended process to a new one: a test that starts
    // programs again and again forgets an ended program's tally before the
    // next one with its id opens. A program still open keeps its tally.
    void Forget(DWORD port, DWORD processId)
    {
        std::lock_guard guard(m_lock);
        if (m_open.count({port, processId}) == 0)
            m_tally.erase({port, processId});
    }

    ClientTally Tally(DWORD port, DWORD processId)
    {
        std::lock_guard guard(m_lock);
        auto it = m_tally.find({port, processId});
        return it == m_tally.end() ? ClientTally{} : it->second;
    }

private:
    bool IsOpen(DWORD port, DWORD processId)
    {
        std::lock_guard guard(m_lock);
        return m_open.count({port, processId}) != 0;
    }

    IClientDirectory* m_inner;
    DWORD m_limit;
    std::mutex m_lock;
    std::map<std::pair<DWORD, DWORD>, bool> m_open;
    std::map<std::pair<DWORD, DWORD>, ClientTally> m_tally;
};
