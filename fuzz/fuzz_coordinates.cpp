// The coordinate readers over arbitrary texts, and the DMS text of every finite value read.
#include "FuzzCheck.h"
#include "geo/CoordinateText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

using namespace kartivo;

namespace {

// The DMS text is rounded to 0.0001 seconds, so it reads back within half of that; the
// arithmetic of reading it adds a few units in the last place of the value itself.
void CheckDmsRoundTrip(double value) {
    const std::string dms = DegreeToDmsText(value);
    if (std::fabs(value) < 2147483647.0) {
        FUZZ_CHECK(!dms.empty());
    }
    if (dms.empty()) return;
    FUZZ_CHECK(dms[0] == (value < 0 ? '-' : '+'));
    double back = std::numeric_limits<double>::quiet_NaN();
    DmsTextToDegree(dms, std::numeric_limits<std::int32_t>::max(), back);
    FUZZ_CHECK(std::isfinite(back));
    const double tolerance =
        0.00005 / 3600.0 + 8 * std::numeric_limits<double>::epsilon() * std::fabs(value) + 1e-15;
    if (!(std::fabs(back - value) <= tolerance)) {
        std::fprintf(stderr, "value %.17g dms \"%s\" back %.17g\n", value, dms.c_str(), back);
        FUZZ_CHECK(false);
    }
}

void CheckDms(std::string_view text, std::int32_t limit) {
    double value = std::numeric_limits<double>::quiet_NaN();
    const bool accepted = DmsTextToDegree(text, limit, value);
    if (accepted) {
        FUZZ_CHECK(std::isfinite(value));
        FUZZ_CHECK(value >= -limit && value <= limit);
    }
    if (std::isfinite(value)) CheckDmsRoundTrip(value);
}

void CheckCoordinate(std::string_view text, std::int32_t limit) {
    const double value = CoordinateTextToDegree(text, limit);
    FUZZ_CHECK(std::isfinite(value));
    FUZZ_CHECK(value > -limit && value < limit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // a copy so overreads show
    for (const std::int32_t limit : {90, 180}) {
        CheckDms(text, limit);
        CheckCoordinate(text, limit);
    }
    return 0;
}
