// Proves that the driver allocates nothing on the heap. The program replaces the global
// operator new and delete and, through the linker's --wrap, the C allocation functions of
// everything linked statically (the driver among it), and counts calls while a window is open.
// The window is opened only around driver calls. The bench UART the driver writes to keeps
// its records in fixed-size buffers, and the radio's replies are queued between driver calls
// (the bench's own radio, which queues them inside write(), stays off).

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "CatProtocol.h"
#include "FT847.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"
#include "Tick.h"

uint32_t clockMs = 0;
Log Serial;

namespace {

bool counting = false;
size_t allocations = 0;
size_t releases = 0;

// Counts what happens inside one driver call.
class Window {
public:
    Window() { counting = true; }
    ~Window() { counting = false; }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
};

}  // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void* __real_aligned_alloc(size_t alignment, size_t size);

void* __wrap_malloc(size_t size) {
    allocations += counting ? 1 : 0;
    return __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    allocations += counting ? 1 : 0;
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size) {
    allocations += counting ? 1 : 0;
    return __real_realloc(block, size);
}
void* __wrap_aligned_alloc(size_t alignment, size_t size) {
    allocations += counting ? 1 : 0;
    return __real_aligned_alloc(alignment, size);
}
}

namespace {

void* allocate(size_t size) {
    allocations += counting ? 1 : 0;
    void* block = __real_malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* allocateAligned(size_t size, std::align_val_t alignment) {
    allocations += counting ? 1 : 0;
    const size_t align = static_cast<size_t>(alignment);
    void* block = __real_aligned_alloc(align, (size + align - 1) / align * align);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void release(void* block) {
    releases += counting && block != nullptr ? 1 : 0;
    std::free(block);
}

}  // namespace

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    allocations += counting ? 1 : 0;
    return __real_malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    allocations += counting ? 1 : 0;
    return __real_malloc(size == 0 ? 1 : size);
}
void* operator new(size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, size_t) noexcept { release(block); }
void operator delete[](void* block, size_t) noexcept { release(block); }
void operator delete(void* block, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { release(block); }

namespace {

// The bench's radio, answering every read with its fixed reply while on, but outside the
// counting window.
HardwareSerial* line = nullptr;
bool radioOn = false;
size_t framesSeen = 0;

void answerReads() {
    for (; framesSeen < line->packets.size(); ++framesSeen) {
        const uint8_t opcode = line->packets[framesSeen][4];
        if (radioOn && cat::isRead(opcode)) {
            for (uint8_t byte : HardwareSerial::readReply) {
                line->rx.push_back(byte);
            }
        }
    }
}

// Runs one driver call inside a counting window, then lets the radio answer.
template <typename Call>
auto counted(Call call) {
    const auto result = [&] {
        Window window;
        return call();
    }();
    answerReads();
    return result;
}

}  // namespace

void tick(FT847& rig, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        ++clockMs;
        counted([&] {
            static_cast<SerialTransport&>(rig).update();
            return true;
        });
    }
}

TEST(Heap, TheCountersSeeEveryKindOfAllocation) {
    allocations = 0;
    releases = 0;
    {
        Window window;
        std::vector<int> numbers(10);
        void* volatile block = std::malloc(16);
        block = std::realloc(block, 32);
        std::free(block);
        void* volatile cleared = std::calloc(4, 4);
        std::free(cleared);
        int* volatile one = new int(1);
        delete one;
    }
    EXPECT_EQ(allocations, 5u) << "vector, malloc, realloc, calloc, new";
    EXPECT_EQ(releases, 2u) << "vector and delete; free is not counted";
    std::vector<int> outside(10);
    EXPECT_EQ(allocations, 5u) << "nothing is counted outside a window";
}

TEST(Heap, TheDriverAllocatesNothingAcrossConnectCommandsAndFailures) {
    HardwareSerial uart;
    FT847 rig(uart);
    line = &uart;
    clockMs = 0;
    allocations = 0;
    releases = 0;

    // Connect.
    radioOn = true;
    ASSERT_TRUE(counted([&] { return rig.begin(); }));
    tick(rig, 1604);
    ASSERT_TRUE(rig.isConnected());

    // Commands: a frequency the radio already has, a mode, a tone on and off, polls, SAT ON.
    tick(rig, 100);
    EXPECT_TRUE(counted([&] { return rig.setFrequency(145800000); }));
    EXPECT_TRUE(counted([&] { return rig.setModeFm(); }));
    tick(rig, 201);
    EXPECT_TRUE(counted([&] { return rig.setTxTone(88.5); }));
    tick(rig, 201);
    EXPECT_TRUE(counted([&] { return rig.setTxTone(0.0); }));
    tick(rig, 101);
    EXPECT_TRUE(counted([&] { return rig.requestRxRead(); }));
    tick(rig, 101);
    EXPECT_TRUE(counted([&] { return rig.requestTxRead(); }));
    tick(rig, 101);
    EXPECT_TRUE(counted([&] { return rig.cancelAndSelectRx(); }));
    EXPECT_TRUE(counted([&] { return rig.requestSatelliteMode(); }));
    tick(rig, 201);
    EXPECT_FALSE(counted([&] { return rig.setTxTone(1234.5); }));
    ASSERT_TRUE(rig.isConnected());

    // Failures: a frequency the bench radio does not take, a switched-off radio, a port that
    // refuses writes; after each the driver comes back.
    EXPECT_TRUE(counted([&] { return rig.selectMain(); }));
    EXPECT_TRUE(counted([&] { return rig.setFrequency(145900000); }));
    tick(rig, 102);
    ASSERT_TRUE(rig.failed()) << "read-back mismatch";
    tick(rig, 3001 + 1603);
    ASSERT_TRUE(rig.isConnected());
    tick(rig, 100);
    radioOn = false;
    EXPECT_TRUE(counted([&] { return rig.requestRxRead(); }));
    tick(rig, 500);
    ASSERT_TRUE(rig.failed()) << "read timeout";
    uart.failWrites = true;
    tick(rig, 3001);
    ASSERT_TRUE(rig.failed());
    ASSERT_EQ(rig.currentState(), FT847::State::RetryWait) << "write failure";
    uart.failWrites = false;
    radioOn = true;
    tick(rig, 3001 + 1603);
    ASSERT_TRUE(rig.isConnected());

    // begin() again on a running driver.
    EXPECT_TRUE(counted([&] { return rig.begin(); }));
    tick(rig, 1604);
    ASSERT_TRUE(rig.isConnected());

    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(releases, 0u);
    EXPECT_GT(uart.packets.size(), 20u);
}

namespace {

template <typename T, typename = void>
struct HeapConstructible : std::false_type {};
template <typename T>
struct HeapConstructible<T, std::void_t<decltype(new T(std::declval<HardwareSerial&>()))>>
    : std::true_type {};

}  // namespace

static_assert(!HeapConstructible<FT847>::value, "a driver must not be created on the heap");

// The vtable's deleting destructor is the one way the driver could reach the allocator: a
// delete through the interface, say of a driver a firmware constructed in place.
TEST(Heap, DeletingADriverThroughTheInterfaceReleasesNothing) {
    HardwareSerial uart;
    alignas(FT847) unsigned char place[sizeof(FT847)];
    SerialTransport* transport = new (place) FT847(uart);
    EXPECT_EQ(static_cast<void*>(transport), static_cast<void*>(place));
    allocations = 0;
    releases = 0;
    {
        Window window;
        delete transport;
    }
    EXPECT_EQ(releases, 0u);
    EXPECT_EQ(allocations, 0u);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
