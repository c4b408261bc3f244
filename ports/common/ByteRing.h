#pragma once

// A queue of bytes between an interrupt handler and the main loop, one of them putting and the
// other taking: each index is written by one side only, and the bytes and indices are volatile,
// so the compiler keeps every store where the code puts it. On a single core that is all the
// two sides need. The indices run freely and wrap in 32 bits; their difference is the count.
//
// A ring has no constructor: one with static storage is zero, that is empty, before any code
// runs, so an interrupt or the start-up code can use it before the constructors of the globals.

#include <stddef.h>
#include <stdint.h>

template <uint32_t Size>
class ByteRing {
    static_assert(Size > 0 && (Size & (Size - 1)) == 0, "the size of a ring is a power of two");

public:
    uint32_t count() const { return head - tail; }
    bool empty() const { return head == tail; }

    // False, and the byte is dropped, when the ring is full.
    bool put(uint8_t byte) {
        const uint32_t at = head;
        if (at - tail == Size) {
            return false;
        }
        bytes[at % Size] = byte;
        head = at + 1;
        return true;
    }

    // False when the ring is empty.
    bool take(uint8_t& byte) {
        const uint32_t at = tail;
        if (head == at) {
            return false;
        }
        byte = bytes[at % Size];
        tail = at + 1;
        return true;
    }

private:
    volatile uint8_t bytes[Size];
    volatile uint32_t head;  // written by the side that puts
    volatile uint32_t tail;  // written by the side that takes
};
