#include "bitmap/FileNameConvention.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

namespace kartivo {
namespace {

using Corners = std::array<double, 4>;  // bottom, left, top, right

TEST(FileNameConvention, TakesNameAndCornersFromTheBaseName) {
    const struct {
        const char* path;
        std::optional<std::string> name;
        std::optional<Corners> corners;
    } cases[] = {
        {"/maps/Tokyo(35.6,139.6,35.7,139.8).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        {"Tokyo(35.6,139.6,35.7,139.8).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        // Either corner may come first, and the pairs are sorted independently.
        {"/maps/Tokyo(35.7,139.8,35.6,139.6).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        {"/maps/Tokyo(35.6,139.8,35.7,139.6).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        {"/maps/Tokyo(10,20,-10,-20).bmp", "Tokyo", Corners{-10, -20, 10, 20}},
        {"/maps/My Map (35.6,139.6,35.7,139.8).bmp", "My Map ", Corners{35.6, 139.6, 35.7, 139.8}},
        {"/maps/東京(35.6,139.6,35.7,139.8).bmp", "東京", Corners{35.6, 139.6, 35.7, 139.8}},
        {"/maps/Tokyo(35.6°,139.6 °,35.7°,139.8°).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        {"/maps/Tokyo(-0°30' 0'',1°15' 0'',0°30' 0'',-1°15' 0'').bmp", "Tokyo", Corners{-0.5, -1.25, 0.5, 1.25}},
        // Text after the ")" is ignored, a second pair of parentheses included.
        {"/maps/Tokyo(35.6,139.6,35.7,139.8) scan(1,2,3,4).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        // Exactly seven characters inside, and no extension to lose.
        {"Tokyo(1,2,3,4)", "Tokyo", Corners{1, 2, 3, 4}},
        // Unreadable values and values not strictly inside 90 or 180 count as 0 before sorting.
        {"/maps/Tokyo(abc,139.6,35.7,139.8).bmp", "Tokyo", Corners{0, 139.6, 35.7, 139.8}},
        {"/maps/Tokyo(95,139.6,35.7,139.8).bmp", "Tokyo", Corners{0, 139.6, 35.7, 139.8}},
        {"/maps/Tokyo(90,180,-90,-180).bmp", "Tokyo", Corners{0, 0, 0, 0}},
        {"/maps/Tokyo(89.9,179.9,-89.9,-179.9).bmp", "Tokyo", Corners{-89.9, -179.9, 89.9, 179.9}},
        {"/maps/Tokyo(1,,,2345).bmp", "Tokyo", Corners{0, 0, 1, 0}},
        // A DMS text ending at the minutes' marker loses its space to trimming and reads as 0.
        {"/maps/Tokyo(35°30' ,1,2,3).bmp", "Tokyo", Corners{0, 1, 2, 3}},

        // Stops before the name: no "(", or "(" first.
        {"/maps/Tokyo.bmp", std::nullopt, std::nullopt},
        {"/maps/(35.6,139.6,35.7,139.8).bmp", std::nullopt, std::nullopt},
        // Only the file's own name counts, not its folders.
        {"/maps (2024)/Tokyo.bmp", std::nullopt, std::nullopt},
        // Stops after the name.
        {"/maps/Tokyo(35.6,139.6.bmp", "Tokyo", std::nullopt},
        {"/maps/Tokyo(1,2,3).bmp", "Tokyo", std::nullopt},        // 5 characters
        {"/maps/Tokyo(1,2,3,).bmp", "Tokyo", std::nullopt},       // 6 characters
        {"/maps/Tokyo(10,20,30).bmp", "Tokyo", std::nullopt},     // 8 characters, three pieces
        {"/maps/Tokyo(35.6,139.6,35.7,139.8,0).bmp", "Tokyo", std::nullopt},
        {"/maps/Tokyo(,,,,,,).bmp", "Tokyo", std::nullopt},       // 7 characters, seven pieces
        // Five characters in seven bytes: characters are counted, not bytes.
        {"/maps/Map(,,,°°).bmp", "Map", std::nullopt},
        // No extension: the base name ends before ".8)", so there is no ")".
        {"/maps/Tokyo(35.6,139.6,35.7,139.8)", "Tokyo", std::nullopt},
    };
    for (const auto& c : cases) {
        const FileNameCorners result = ReadFileNameConvention(c.path);
        EXPECT_EQ(result.name, c.name) << c.path;
        ASSERT_EQ(result.corners.has_value(), c.corners.has_value()) << c.path;
        if (c.corners) {
            for (std::size_t i = 0; i < 4; ++i) {
                EXPECT_NEAR((*result.corners)[i], (*c.corners)[i], 1e-12) << c.path << " corner " << i;
            }
        }
    }
}

}  // namespace
}  // namespace kartivo
