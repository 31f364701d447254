#include "output/device_manager.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>

#include "core/config.h"
#include "output/audio_endpoint.h"
#include "output/device.h"

namespace tsl::output {
namespace {

struct Manager {
    std::mutex lock;
    std::vector<EndpointInfo> endpoints; // device number = index + 2; never reordered
    std::map<int, std::shared_ptr<Device>> devices;
    std::deque<std::string> names;       // texts handed out by DescribeDevice, kept for good
    std::atomic<int> last{-1};
    bool enumerated = false;
};

Manager& M() {
    static Manager m;
    return m;
}

thread_local int t_current = -1;

// Under the lock: adds endpoints that appeared (numbers of known ones stay),
// marks those that went away as disabled.
void RefreshLocked(Manager& m) {
    std::vector<EndpointInfo> now = AudioBackend::Get().Enumerate();
    for (auto& known : m.endpoints) {
        known.enabled = false;
        known.isDefault = false;
    }
    for (auto& e : now) {
        auto it = std::find_if(m.endpoints.begin(), m.endpoints.end(), [&](const EndpointInfo& k) { return k.id == e.id; });
        if (it == m.endpoints.end()) {
            m.endpoints.push_back(e);
        } else {
            *it = e;
        }
    }
    m.enumerated = true;
}

const char* Keep(Manager& m, const std::string& s) {
    for (const auto& n : m.names)
        if (n == s) return n.c_str();
    m.names.push_back(s);
    return m.names.back().c_str();
}

} // namespace

int CurrentDevice() noexcept {
    return t_current >= 0 ? t_current : M().last.load(std::memory_order_acquire);
}

std::shared_ptr<Device> FindDevice(int number) {
    Manager& m = M();
    std::lock_guard<std::mutex> g(m.lock);
    auto it = m.devices.find(number);
    return it == m.devices.end() ? nullptr : it->second;
}

bool CanCreatePlayableStream(int& error) noexcept {
    try {
        auto d = FindDevice(CurrentDevice());
        if (!d) {
            error = BASS_ERROR_INIT;
            return false;
        }
        if (!d->CanPlay()) {
            error = BASS_ERROR_NOTAVAIL;
            return false;
        }
        return true;
    } catch (...) {
        error = BASS_ERROR_MEM;
        return false;
    }
}

int InitDevice(int number, uint32_t rate, uint32_t flags) {
    if (number == -1) number = 1;
    if (number < 0) return BASS_ERROR_DEVICE;
    if (rate == 0) rate = 44100;
    if (rate < 8000 || rate > 384000) return BASS_ERROR_FORMAT;
    Manager& m = M();
    std::unique_lock<std::mutex> g(m.lock);
    if (m.devices.count(number)) return BASS_ERROR_ALREADY;
    std::string id;
    if (number >= 2) {
        RefreshLocked(m);
        if (size_t(number - 2) >= m.endpoints.size() || !m.endpoints[size_t(number - 2)].enabled)
            return BASS_ERROR_DEVICE;
        id = m.endpoints[size_t(number - 2)].id;
    }
    auto device = std::make_shared<Device>(number, rate, flags);
    const bool follow = number == 1 && GetConfigValue(BASS_CONFIG_DEV_DEFAULT) != 0;
    // Opening an endpoint can take a while; other devices stay usable meanwhile.
    m.devices[number] = nullptr;
    g.unlock();
    const int error = device->Start(id, follow || number == 1);
    g.lock();
    if (error != BASS_OK) {
        m.devices.erase(number);
        return error;
    }
    m.devices[number] = device;
    t_current = number;
    m.last.store(number, std::memory_order_release);
    return BASS_OK;
}

int FreeCurrentDevice() {
    Manager& m = M();
    std::shared_ptr<Device> device;
    {
        std::lock_guard<std::mutex> g(m.lock);
        auto it = m.devices.find(CurrentDevice());
        if (it == m.devices.end() || !it->second) return BASS_ERROR_INIT;
        device = std::move(it->second);
        m.devices.erase(it);
        if (m.last.load() == device->Number()) m.last.store(m.devices.empty() ? -1 : m.devices.begin()->first);
    }
    // Streams that still refer to the device keep it alive but silent.
    device->Shutdown();
    return BASS_OK;
}

int SelectDevice(int number) {
    Manager& m = M();
    std::lock_guard<std::mutex> g(m.lock);
    if (number < 0) return BASS_ERROR_DEVICE;
    auto it = m.devices.find(number);
    if (it == m.devices.end() || !it->second) return BASS_ERROR_INIT;
    t_current = number;
    m.last.store(number, std::memory_order_release);
    return BASS_OK;
}

int GetInfo(BASS_INFO& info) {
    auto d = FindDevice(CurrentDevice());
    if (!d) return BASS_ERROR_INIT;
    info = BASS_INFO{};
    info.initflags = d->InitFlags();
    info.minbuf = d->MinBufferMs();
    info.latency = d->LatencyMs();
    info.freq = d->Rate();
    info.minrate = 8000;
    info.maxrate = 384000;
    info.speakers = 2;
    return BASS_OK;
}

bool DescribeDevice(uint32_t number, BASS_DEVICEINFO& info) {
    Manager& m = M();
    std::lock_guard<std::mutex> g(m.lock);
    if (!m.enumerated || number <= 1) RefreshLocked(m);
    const bool init = m.devices.count(int(number)) && m.devices[int(number)];
    if (number == 0) {
        info = {Keep(m, "No sound"), Keep(m, ""), BASS_DEVICE_ENABLED | (init ? BASS_DEVICE_INIT : 0u)};
        return true;
    }
    if (number == 1) {
        info = {Keep(m, "Default"), Keep(m, ""),
                BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT | (init ? BASS_DEVICE_INIT : 0u)};
        return true;
    }
    if (number - 2 >= m.endpoints.size()) return false;
    const EndpointInfo& e = m.endpoints[number - 2];
    info = {Keep(m, e.name), Keep(m, e.id),
            (e.enabled ? BASS_DEVICE_ENABLED : 0u) | (e.isDefault ? BASS_DEVICE_DEFAULT : 0u) |
                (init ? BASS_DEVICE_INIT : 0u)};
    return true;
}

} // namespace tsl::output
