// "DGM (retour infos)": the reading of a frame's body.
#include "instruments/bench/DGM110.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(ProtocoleDGM110, ReadingOfAFrame) {
    const struct {
        std::string corps;
        std::optional<std::int32_t> lecture;
    } cas[] = {
        {"0123", 123},
        {"12.5", 125},                   // every byte but a digit is ignored
        {"-7", 7},                       // the sign too
        {"", 0},                         // no digit: 0
        {"abc", 0},
        {" 4\r\n0 1", 401},
        {std::string("9\0" "9", 3), 99},
        {"00412", 412},
        {"2147483647", 2147483647},      // the largest reading
        {"0002147483647", 2147483647},   // leading zeros do not count
        {"2147483648", std::nullopt},    // beyond a signed 32-bit reading
        {"99999999999", std::nullopt},
        {std::string(600, '9'), std::nullopt},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.corps);
        EXPECT_EQ(DGM110_lecture(c.corps), c.lecture);
    }
}

}  // namespace
