#include "synth/update_pacer.h"

DWORD UpdatePacer::OnCycle(bool idle) {
    if (m_period == kSlowPeriodMs) {
        if (!idle) {
            m_period = kFastPeriodMs;
            m_countdown = kIdleCycles;
        }
    } else if (idle) {
        if (m_countdown > 0) --m_countdown;
        if (m_countdown == 0) m_period = kSlowPeriodMs;
    } else {
        m_countdown = kIdleCycles;
    }
    return m_period;
}

DWORD UpdateLengthMs(DWORD additionalBuffer) {
    if (additionalBuffer < 20) return 20;
    if (additionalBuffer > 1000) return 1000;
    return additionalBuffer;
}
