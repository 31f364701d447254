// Owner of a back-end stream handle: freed (with its AUTOFREE encoder) on every path.
#pragma once

#include <bass.h>

class CBassStream {
public:
    explicit CBassStream(HSTREAM stream) : m_stream(stream) {}
    ~CBassStream()
    {
        if (m_stream)
            BASS_StreamFree(m_stream);
    }
    CBassStream(const CBassStream&) = delete;
    CBassStream& operator=(const CBassStream&) = delete;

    HSTREAM Get() const { return m_stream; }
    explicit operator bool() const { return m_stream != 0; }

private:
    HSTREAM m_stream;
};
