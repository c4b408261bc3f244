#include <gtest/gtest.h>

#include <cstdint>

#include "ByteRing.h"

// The emulated boards' UARTs and the cost probe's keep their bytes in these rings, which have
// no constructor: the tests use rings with static storage, as the boards do.

TEST(ByteRing, IsEmptyInStaticStorageAndGivesItsBytesBackInOrder) {
    static ByteRing<4> ring;
    uint8_t byte = 0xAA;
    EXPECT_TRUE(ring.empty());
    EXPECT_EQ(ring.count(), 0u);
    EXPECT_FALSE(ring.take(byte));
    EXPECT_EQ(byte, 0xAA) << "taking from an empty ring leaves the byte as it was";

    EXPECT_TRUE(ring.put(0x14));
    EXPECT_TRUE(ring.put(0x58));
    EXPECT_TRUE(ring.put(0x08));
    EXPECT_EQ(ring.count(), 3u);
    EXPECT_FALSE(ring.empty());
    ASSERT_TRUE(ring.take(byte));
    EXPECT_EQ(byte, 0x14);
    ASSERT_TRUE(ring.take(byte));
    EXPECT_EQ(byte, 0x58);
    EXPECT_EQ(ring.count(), 1u);
    ASSERT_TRUE(ring.take(byte));
    EXPECT_EQ(byte, 0x08);
    EXPECT_TRUE(ring.empty());
}

TEST(ByteRing, RefusesTheByteThatDoesNotFitAndKeepsTheOthers) {
    static ByteRing<4> ring;
    for (uint8_t byte = 1; byte <= 4; ++byte) {
        EXPECT_TRUE(ring.put(byte));
    }
    EXPECT_FALSE(ring.put(5)) << "a full ring takes no fifth byte";
    EXPECT_EQ(ring.count(), 4u);
    uint8_t byte = 0;
    for (uint8_t expected = 1; expected <= 4; ++expected) {
        ASSERT_TRUE(ring.take(byte));
        EXPECT_EQ(byte, expected);
    }
    EXPECT_FALSE(ring.take(byte)) << "the refused byte was not stored";
    EXPECT_TRUE(ring.put(6)) << "room again once a byte is taken";
}

TEST(ByteRing, WrapsAroundItsStorageRoundAfterRound) {
    static ByteRing<4> ring;
    uint8_t next = 0;
    uint8_t expected = 0;
    // Three in and three out per round: the indices pass the end of the four bytes of storage
    // at every place.
    for (int round = 0; round < 1000; ++round) {
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(ring.put(next++));
        }
        ASSERT_EQ(ring.count(), 3u);
        uint8_t byte = 0;
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(ring.take(byte));
            ASSERT_EQ(byte, expected++) << "round " << round;
        }
    }
    EXPECT_TRUE(ring.empty());
}
