// "Carte VEXO": decoding the board's frames.
#include "instruments/bench/VEXO.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using Trame = std::array<unsigned char, kTailleTrameVexo>;

// A frame with `a` at offset 4 (channel 1) and zeros elsewhere.
Trame Voie1(std::array<unsigned char, 4> a) {
    Trame t{};
    for (std::size_t i = 0; i < 4; ++i) t[4 + i] = a[i];
    return t;
}

TEST(ProtocoleVexo, ChannelOneCountsAreBigEndianTwosComplement) {
    const struct {
        std::array<unsigned char, 4> octets;
        std::int32_t compte;
    } cas[] = {
        {{0x00, 0x00, 0x00, 0x01}, 1},
        {{0xFF, 0xFF, 0xFF, 0xFE}, -2},
        {{0x01, 0x02, 0x03, 0x04}, 0x01020304},
        {{0x7F, 0xFF, 0xFF, 0xFF}, 2147483647},
        {{0x80, 0x00, 0x00, 0x00}, -2147483647 - 1},
        {{0x00, 0x00, 0x00, 0x00}, 0},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.compte);
        EXPECT_EQ(VEXO_lire_trame(Voie1(c.octets)).freq_1, c.compte);
    }
}

TEST(ProtocoleVexo, EveryFieldInItsPlace) {
    const Trame t = {0x00, 0x01, 0xFF, 0xFF,             // epsilon_1 1, epsilon_2 -1
                     0x00, 0x00, 0x27, 0x10,             // 10000
                     0x00, 0x00, 0x4E, 0x20,             // 20000
                     0xFF, 0xFF, 0x8A, 0xD0,             // -30000
                     0x12, 0x34, 0x56, 0x78};
    const vexo_data d = VEXO_lire_trame(t);
    EXPECT_EQ(d.epsilon_1, 1);
    EXPECT_EQ(d.epsilon_2, -1);
    EXPECT_EQ(d.freq_1, 10000);
    EXPECT_EQ(d.freq_2, 20000);
    EXPECT_EQ(d.freq_3, -30000);
    EXPECT_EQ(d.freq_4, 0x12345678);
}

}  // namespace
