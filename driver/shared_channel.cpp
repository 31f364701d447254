#include "driver/shared_channel.h"

#include "ipc/listener_probe.h"

CSharedChannel& Channel()
{
    static CSharedChannel& channel = *new CSharedChannel();
    return channel;
}

CSharedChannel::CSharedChannel(ChannelNames names) : m_names(std::move(names)) {}

CSharedChannel::~CSharedChannel() { Release(); }

bool CSharedChannel::ListenerAlive() const { return ring::ListenerAlive(m_names.listener.c_str()); }

bool CSharedChannel::Connect()
{
    const driverlock::Deadline deadline;
    COwnerGuard guard(m_lock, deadline);
    if (!guard)
        return false;
    if (!m_writer) {
        // Only opened, never created: no block means no synth, and the port
        // stays closed instead of feeding a ring nobody drains.
        m_mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, m_names.sharedMem.c_str());
        if (m_mapping)
            m_block = static_cast<ring::Block*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, ring::kBlockSize));
        if (m_block) {
            m_dataAvailable = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, m_names.dataAvailable.c_str());
            m_queueFree = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, m_names.queueFree.c_str());
        }
        // A block whose header is not written yet is still being set up.
        const bool ready = m_block && m_dataAvailable && m_queueFree && m_block->blockSize == ring::kBlockSize &&
                           ring::Shared(m_block->listening).load() != 0;
        if (!ready) {
            Release();
            return false;
        }
        m_writer = std::make_unique<CRingWriter>(m_block, m_dataAvailable, m_queueFree);
        m_writer->SetListenerCheck(
            [](const void* self) { return static_cast<const CSharedChannel*>(self)->ListenerAlive(); }, this);
    }
    // The block outlives the synth that made it (this program holds it), and
    // its listening flag outlives a synth that was killed: only the listen
    // thread's own mutex tells that someone drains the ring now.
    return ring::Shared(m_block->listening).load() != 0 && ListenerAlive();
}

void CSharedChannel::Disconnect()
{
    COwnerGuard guard(m_lock, driverlock::Deadline());
    if (guard)
        Release();
}

void CSharedChannel::RenameForTests(ChannelNames names)
{
    COwnerGuard guard(m_lock, driverlock::Deadline());
    Release();
    m_names = std::move(names);
}

void CSharedChannel::Release()
{
    m_writer.reset();
    if (m_block)
        UnmapViewOfFile(m_block);
    m_block = nullptr;
    for (HANDLE* handle : {&m_mapping, &m_dataAvailable, &m_queueFree}) {
        if (*handle)
            CloseHandle(*handle);
        *handle = nullptr;
    }
}
