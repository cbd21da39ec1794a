// The file-name convention over arbitrary paths.
#include "FuzzCheck.h"
#include "bitmap/FileNameConvention.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

using namespace kartivo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const FileNameCorners read = ReadFileNameConvention(path);
    if (!read.name) {
        FUZZ_CHECK(!read.corners);
        return 0;
    }
    FUZZ_CHECK(read.name->find('(') == std::string::npos);
    FUZZ_CHECK(path.find(*read.name) != std::string::npos);
    if (read.corners) {
        const auto& [bottom, left, top, right] = *read.corners;
        for (const double latitude : {bottom, top}) {
            FUZZ_CHECK(std::isfinite(latitude) && latitude > -90 && latitude < 90);
        }
        for (const double longitude : {left, right}) {
            FUZZ_CHECK(std::isfinite(longitude) && longitude > -180 && longitude < 180);
        }
        FUZZ_CHECK(bottom <= top);
        FUZZ_CHECK(left <= right);
    }
    return 0;
}
