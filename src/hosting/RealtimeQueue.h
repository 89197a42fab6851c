#pragma once

// A bounded queue that real-time threads push into without waiting, locking
// or allocating (after Vyukov's bounded queue): a producer claims a slot with
// one compare-and-swap. One consumer at a time pops (callers serialize their
// consumers). A push into a full queue fails and is counted.

#include <atomic>
#include <cstddef>

template <typename Item, unsigned Capacity>
class RealtimeQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "the capacity is a power of two");

public:
    RealtimeQueue()
    {
        for (unsigned i = 0; i < Capacity; ++i)
            slots[i].sequence.store(i, std::memory_order_relaxed);
    }
    RealtimeQueue(const RealtimeQueue&) = delete;
    RealtimeQueue& operator=(const RealtimeQueue&) = delete;

    // `fill(Item&)` writes the claimed slot. False when the queue is full.
    template <typename Fill>
    bool push(Fill fill)
    {
        unsigned position = tail.load(std::memory_order_relaxed);
        for (;;) {
            Slot& slot = slots[position % Capacity];
            const unsigned sequence = slot.sequence.load(std::memory_order_acquire);
            const int difference = int(sequence - position);
            if (difference == 0) {
                if (tail.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    fill(slot.item);
                    slot.sequence.store(position + 1, std::memory_order_release);
                    return true;
                }
            } else if (difference < 0) {
                dropped.fetch_add(1, std::memory_order_relaxed);
                return false;
            } else {
                position = tail.load(std::memory_order_relaxed);
            }
        }
    }

    // Hands every complete item to `take(const Item&)` in order.
    template <typename Take>
    void popAll(Take take)
    {
        for (;;) {
            Slot& slot = slots[head % Capacity];
            if (slot.sequence.load(std::memory_order_acquire) != head + 1)
                return;
            take(slot.item);
            slot.sequence.store(head + Capacity, std::memory_order_release);
            ++head;
        }
    }

    // Pushes that failed since the last call.
    unsigned takeDroppedCount() { return dropped.exchange(0, std::memory_order_relaxed); }

private:
    struct Slot {
        std::atomic<unsigned> sequence;
        Item item;
    };
    Slot slots[Capacity];
    std::atomic<unsigned> tail{0};
    unsigned head = 0;
    std::atomic<unsigned> dropped{0};
};
