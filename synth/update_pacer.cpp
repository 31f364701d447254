#include "synth/update_pacer.h"

DWORD UpdatePacer::OnCycle(bool idle, ULONGLONG nowMs) {
    if (!idle) {
        m_lastEvent = nowMs;
        m_period = kFastPeriodMs;
    } else if (m_period == kFastPeriodMs && nowMs - m_lastEvent >= kIdleMs) {
        m_period = kSlowPeriodMs;
    }
    return m_period;
}

DWORD UpdateLengthMs(DWORD additionalBuffer) {
    if (additionalBuffer < 20) return 20;
    if (additionalBuffer > 1000) return 1000;
    return additionalBuffer;
}
