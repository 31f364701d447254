#include "driver/shared_channel.h"

#include <cstring>

CSharedChannel& Channel()
{
    static CSharedChannel channel;
    return channel;
}

CSharedChannel::CSharedChannel() = default;

CSharedChannel::~CSharedChannel() { Disconnect(); }

bool CSharedChannel::Connect()
{
    AcquireSRWLockExclusive(&m_lock);
    if (!m_writer) {
        // Only opened, never created: no block means no synth, and the port
        // stays closed instead of feeding a ring nobody drains.
        m_mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, ring::kSharedMemName);
        if (m_mapping)
            m_block = static_cast<ring::Block*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, ring::kBlockSize));
        if (m_block) {
            m_dataAvailable = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, ring::kDataAvailableName);
            m_queueFree = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, ring::kQueueFreeName);
        }
        // A block whose header is not written yet is still being set up.
        const bool ready = m_block && m_dataAvailable && m_queueFree && m_block->blockSize == ring::kBlockSize &&
                           ring::Shared(m_block->listening).load() != 0;
        if (ready) {
            m_writer = std::make_unique<CRingWriter>(m_block, m_dataAvailable, m_queueFree);
        } else {
            ReleaseSRWLockExclusive(&m_lock);
            Disconnect();
            return false;
        }
    }
    ReleaseSRWLockExclusive(&m_lock);
    return true;
}

void CSharedChannel::Disconnect()
{
    AcquireSRWLockExclusive(&m_lock);
    m_writer.reset();
    if (m_block)
        UnmapViewOfFile(m_block);
    m_block = nullptr;
    for (HANDLE* handle : {&m_mapping, &m_dataAvailable, &m_queueFree}) {
        if (*handle)
            CloseHandle(*handle);
        *handle = nullptr;
    }
    ReleaseSRWLockExclusive(&m_lock);
}
