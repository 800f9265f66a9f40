#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <utility>

// A bounded single-producer single-consumer queue without locks or allocation.
// Push is called by one thread only, Pop by one other thread only. Elements are moved in and
// out of preallocated slots, so a moved-from slot holds no resource.
template <typename T, std::size_t Capacity> class SpscQueue final
{
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // Producer: false when the queue is full (the value stays with the caller).
    bool Push(T& value)
    {
        const std::size_t tail = FTail.load(std::memory_order_relaxed);
        if (tail - FHead.load(std::memory_order_acquire) == Capacity) {
            return false;
        }
        FSlots[tail & (Capacity - 1)] = std::move(value);
        FTail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer: false when the queue is empty.
    bool Pop(T& out)
    {
        const std::size_t head = FHead.load(std::memory_order_relaxed);
        if (head == FTail.load(std::memory_order_acquire)) {
            return false;
        }
        out = std::move(FSlots[head & (Capacity - 1)]);
        FHead.store(head + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<T, Capacity> FSlots{};
    alignas(64) std::atomic<std::size_t> FHead{0};
    alignas(64) std::atomic<std::size_t> FTail{0};
};
