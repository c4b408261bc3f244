#pragma once

// The bench's fixed-size buffers: an append-only record and a byte queue, with no C++ standard
// library, so that the bench builds for any target. Neither ever writes outside its storage.
// A buffer that is full stops the program with a line on stderr: a test whose record silently
// lost frames would check less than it claims, so outgrowing the bench is a failure of that
// test, never a quiet truncation.

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

[[noreturn]] inline void benchBufferFull(const char* what, size_t capacity) {
    fprintf(stderr, "bench: %s is full (%lu entries); the test outgrew the bench\n", what,
            static_cast<unsigned long>(capacity));
    abort();
}

// Entries in the order they were appended; only ever grows.
template <typename T, size_t Capacity>
class FixedRecord {
public:
    explicit FixedRecord(const char* name) : what(name) {}

    void push_back(const T& value) {
        if (count == Capacity) {
            benchBufferFull(what, Capacity);
        }
        items[count++] = value;
    }

    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    static constexpr size_t capacity() { return Capacity; }

    // Indexing and back() are for entries that exist, as with any array.
    const T& operator[](size_t i) const { return items[i]; }
    T& operator[](size_t i) { return items[i]; }
    const T& back() const { return items[count - 1]; }
    const T* begin() const { return items; }
    const T* end() const { return items + count; }

private:
    const char* what;
    T items[Capacity] = {};
    size_t count = 0;
};

// Bytes first in, first out, in a ring.
template <size_t Capacity>
class ByteQueue {
public:
    explicit ByteQueue(const char* name) : what(name) {}

    void push_back(uint8_t byte) {
        if (count == Capacity) {
            benchBufferFull(what, Capacity);
        }
        bytes[(head + count) % Capacity] = byte;
        ++count;
    }

    void append(const uint8_t* data, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            push_back(data[i]);
        }
    }

    // The oldest byte, removed; only when there is one.
    uint8_t pop_front() {
        const uint8_t byte = bytes[head];
        head = (head + 1) % Capacity;
        --count;
        return byte;
    }

    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    static constexpr size_t capacity() { return Capacity; }

    // The i-th oldest byte waiting, for i below size().
    uint8_t operator[](size_t i) const { return bytes[(head + i) % Capacity]; }

private:
    const char* what;
    uint8_t bytes[Capacity] = {};
    size_t head = 0;
    size_t count = 0;
};
