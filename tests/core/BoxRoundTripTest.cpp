#include "bitmap/OutputHeader.h"
#include "geo/CoordinateText.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string_view>

namespace kartivo {
namespace {

TEST(BoxRoundTrip, DegreeBoxesKeepWhatTheirTextsShow) {
    EXPECT_DOUBLE_EQ(HeldByDegreeBox(0.12345678904), 0.123456789);
    EXPECT_DOUBLE_EQ(HeldByDegreeBox(-35.00000000006), -35.0000000001);
    constexpr double Infinite = std::numeric_limits<double>::infinity();
    EXPECT_EQ(HeldByDegreeBox(Infinite), Infinite);
    EXPECT_DOUBLE_EQ(WrittenIntoDegreeBox(1.0 / 3.0), 0.333333333333333);
    EXPECT_DOUBLE_EQ(WrittenIntoDegreeBox(-139.9999999999999), -140.0);
}

TEST(BoxRoundTrip, ResolutionTextsBecomePelsPerMetre) {
    const struct {
        std::string_view text;
        std::optional<std::int32_t> pelsPerMeter;
    } cases[] = {{"96", 3780}, {" 72 ", 2835}, {"0.0127", 0}, {"0.0381", 2}, {"abc", std::nullopt},
                 {"", std::nullopt}, {"1e10", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(PelsPerMeterFromDpiText(c.text), c.pelsPerMeter) << c.text;
    }
}

}  // namespace
}  // namespace kartivo
