// Everything check-driver-object.sh must reject, in one object, so that a check that
// stopped matching any of them is noticed. Built with exceptions and RTTI on; never linked.

#include <stdlib.h>

#include <typeinfo>

struct Elsewhere {
    virtual ~Elsewhere();  // key function defined elsewhere: its typeinfo is an external symbol
};

int initialisedCounter = 7;  // .data
int zeroedCounter;           // .bss

struct Guarded {
    Guarded();
};

const std::type_info& elsewhereType() { return typeid(Elsewhere); }

void* allocateRaw(size_t bytes) { return malloc(bytes); }

void release(void* raw) { free(raw); }

int* allocate(int value) {
    ++zeroedCounter;
    return new int(value + initialisedCounter);
}

void raise(int code) {
    if (code != 0) {
        throw code;
    }
}

// A function-local static with a constructor takes __cxa_guard_acquire/__cxa_guard_release.
Guarded& guarded() {
    static Guarded instance;
    return instance;
}
