#include "live_heap.h"

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int64_t> g_live{0};

void* Take(std::size_t size) noexcept
{
    void* p = std::malloc(size ? size : 1);
    if (p)
        g_live.fetch_add(static_cast<int64_t>(_msize(p)), std::memory_order_relaxed);
    return p;
}

void Give(void* p) noexcept
{
    if (!p)
        return;
    g_live.fetch_sub(static_cast<int64_t>(_msize(p)), std::memory_order_relaxed);
    std::free(p);
}

// Over-aligned blocks carry their base and size just below the address
// handed out.
struct AlignedHeader {
    void* base;
    std::size_t size;
};

void* TakeAligned(std::size_t size, std::align_val_t align) noexcept
{
    const std::size_t alignment = static_cast<std::size_t>(align);
    void* base = Take(size + alignment + sizeof(AlignedHeader));
    if (!base)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(base) + sizeof(AlignedHeader);
    auto* p = reinterpret_cast<void*>((start + alignment - 1) & ~(static_cast<std::uintptr_t>(alignment) - 1));
    reinterpret_cast<AlignedHeader*>(p)[-1] = AlignedHeader{base, size};
    return p;
}

void GiveAligned(void* p, std::align_val_t) noexcept
{
    if (p)
        Give(reinterpret_cast<AlignedHeader*>(p)[-1].base);
}

void* TakeOrThrow(std::size_t size)
{
    if (void* p = Take(size))
        return p;
    throw std::bad_alloc();
}

void* TakeAlignedOrThrow(std::size_t size, std::align_val_t align)
{
    if (void* p = TakeAligned(size, align))
        return p;
    throw std::bad_alloc();
}

}  // namespace

int64_t LiveHeapBytes() { return g_live.load(std::memory_order_relaxed); }

void* operator new(std::size_t size) { return TakeOrThrow(size); }
void* operator new[](std::size_t size) { return TakeOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Take(size); }
void* operator new(std::size_t size, std::align_val_t align) { return TakeAlignedOrThrow(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return TakeAlignedOrThrow(size, align); }
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept { return TakeAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept { return TakeAligned(size, align); }

void operator delete(void* p) noexcept { Give(p); }
void operator delete[](void* p) noexcept { Give(p); }
void operator delete(void* p, std::size_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t) noexcept { Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete(void* p, std::align_val_t align) noexcept { GiveAligned(p, align); }
void operator delete[](void* p, std::align_val_t align) noexcept { GiveAligned(p, align); }
void operator delete(void* p, std::size_t, std::align_val_t align) noexcept { GiveAligned(p, align); }
void operator delete[](void* p, std::size_t, std::align_val_t align) noexcept { GiveAligned(p, align); }
void operator delete(void* p, std::align_val_t align, const std::nothrow_t&) noexcept { GiveAligned(p, align); }
void operator delete[](void* p, std::align_val_t align, const std::nothrow_t&) noexcept { GiveAligned(p, align); }
