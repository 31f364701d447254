// What a client sent while its stream was still being made, kept in order
// until the stream can take it. Long-message chunks are copied: the ring
// entry they point into is reused as soon as the listen thread moves on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ipc/client_call.h"

class CallBacklog {
public:
    // May throw std::bad_alloc; the call is then not kept.
    void Add(const ClientCall& call) {
        Held held{call, m_bytes.size()};
        if (call.data && call.length) m_bytes.insert(m_bytes.end(), call.data, call.data + call.length);
        else held.call.length = 0;
        held.call.data = nullptr;
        m_calls.push_back(held);
    }

    bool Empty() const { return m_calls.empty(); }

    void Swap(CallBacklog& other) noexcept {
        m_calls.swap(other.m_calls);
        m_bytes.swap(other.m_bytes);
    }

    // Empties the backlog and keeps its capacity for the next batch.
    void Clear() {
        m_calls.clear();
        m_bytes.clear();
    }

    // f(const ClientCall&) for every call, in the order added.
    template <class F>
    void ForEach(F&& f) const {
        for (const Held& held : m_calls) {
            ClientCall call = held.call;
            if (call.length) call.data = m_bytes.data() + held.offset;
            f(call);
        }
    }

private:
    struct Held {
        ClientCall call;
        size_t offset;  // of its bytes in m_bytes, which may move as it grows
    };
    std::vector<Held> m_calls;
    std::vector<uint8_t> m_bytes;
};
