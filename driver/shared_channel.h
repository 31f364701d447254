// This program's connection to the synth's shared block. Made when a port is
// first opened and kept until the driver is freed: holding the block keeps it
// alive across a restart of the synth, which re-initialises it in place.
//
// The program's channel is never destroyed: at DLL detach another thread may
// have been killed inside Connect, and nothing there may wait for it. The
// system releases the block and the handles with the process.
#pragma once

#include "driver/owner_lock.h"
#include "driver/ring_writer.h"
#include "ipc/channel_names.h"

#include <windows.h>

#include <memory>

class CSharedChannel {
public:
    explicit CSharedChannel(ChannelNames names = {});
    // Releases without taking the lock: only for an owner that knows no other
    // thread uses the channel any more (tests).
    ~CSharedChannel();
    CSharedChannel(const CSharedChannel&) = delete;
    CSharedChannel& operator=(const CSharedChannel&) = delete;

    // Opens the block and the events if not yet done, then checks that a
    // synth's listen thread runs. False while no synth has made and
    // initialised the block, while none listens, or when another thread of
    // the program held the channel past the call's time limit.
    bool Connect();
    // Null before a successful Connect. Valid until Disconnect.
    CRingWriter* Writer() const { return m_writer.get(); }
    void Disconnect();
    bool ListenerAlive() const;
    COwnerLock& LockForTests() { return m_lock; }
    // Lets go of the block and uses these names from the next Connect on, so
    // tests of the driver's entry points never touch a running synth's block.
    void RenameForTests(ChannelNames names);

private:
    void Release();

    ChannelNames m_names;
    COwnerLock m_lock;
    HANDLE m_mapping = nullptr;
    ring::Block* m_block = nullptr;
    HANDLE m_dataAvailable = nullptr;
    HANDLE m_queueFree = nullptr;
    std::unique_ptr<CRingWriter> m_writer;
};

CSharedChannel& Channel();
