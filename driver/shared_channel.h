// This program's connection to the synth's shared block. Made when a port is
// first opened and kept until the driver is freed: holding the block keeps it
// alive across a restart of the synth, which re-initialises it in place.
#pragma once

#include "driver/ring_writer.h"

#include <windows.h>

#include <memory>

class CSharedChannel {
public:
    CSharedChannel();
    ~CSharedChannel();
    CSharedChannel(const CSharedChannel&) = delete;
    CSharedChannel& operator=(const CSharedChannel&) = delete;

    // Opens the block and the events if not yet done. False while no synth
    // has made and initialised the block.
    bool Connect();
    // Null before a successful Connect. Valid until Disconnect.
    CRingWriter* Writer() const { return m_writer.get(); }
    void Disconnect();

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    HANDLE m_mapping = nullptr;
    ring::Block* m_block = nullptr;
    HANDLE m_dataAvailable = nullptr;
    HANDLE m_queueFree = nullptr;
    std::unique_ptr<CRingWriter> m_writer;
};

CSharedChannel& Channel();
