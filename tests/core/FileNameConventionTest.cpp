#include "bitmap/FileNameConvention.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <tuple>

namespace kartivo {
namespace {

using Corners = MapCorners;

TEST(FileNameConvention, TakesNameAndCornersFromTheBaseName) {
    const std::tuple<const char*, std::optional<std::string>, std::optional<Corners>> cases[] = {
        // Either corner may come first, and the pairs are sorted independently.
        {"/maps/Tokyo(35.7,139.6,35.6,139.8).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        {"/maps/My Map (10,20,-10,-20).bmp", "My Map ", Corners{-10, -20, 10, 20}},
        // Text after the ")" is ignored, a second pair of parentheses included.
        {"Tokyo(35.6,139.6,35.7,139.8) scan(1,2,3,4).bmp", "Tokyo", Corners{35.6, 139.6, 35.7, 139.8}},
        // Exactly seven characters inside, and no extension to lose.
        {"Tokyo(1,2,3,4)", "Tokyo", Corners{1, 2, 3, 4}},
        // Values not strictly inside 90 or 180, and empty ones, count as 0 before sorting.
        {"/maps/Tokyo(90,180,-90,-180).bmp", "Tokyo", Corners{0, 0, 0, 0}},
        {"/maps/Tokyo(1,,,2345).bmp", "Tokyo", Corners{0, 0, 1, 0}},
        // Stops before the name: no "(", "(" first, or one only in a folder's name.
        {"/maps/Tokyo.bmp", std::nullopt, std::nullopt},
        {"/maps/(35.6,139.6,35.7,139.8).bmp", std::nullopt, std::nullopt},
        {"/maps (2024)/Tokyo.bmp", std::nullopt, std::nullopt},
        // Stops after the name: no ")", fewer than seven characters, or not four pieces.
        {"/maps/Tokyo(35.6,139.6.bmp", "Tokyo", std::nullopt},
        {"/maps/Tokyo(1,2,3,).bmp", "Tokyo", std::nullopt},
        {"/maps/Tokyo(10,20,30).bmp", "Tokyo", std::nullopt},
        {"/maps/Tokyo(35.6,139.6,35.7,139.8,0).bmp", "Tokyo", std::nullopt},
        // Five characters in seven bytes: characters are counted, not bytes.
        {"/maps/Map(,,,°°).bmp", "Map", std::nullopt},
    };
    for (const auto& [path, name, corners] : cases) {
        const FileNameCorners result = ReadFileNameConvention(path);
        EXPECT_EQ(result.name, name) << path;
        EXPECT_EQ(result.corners, corners) << path;
    }
}

}  // namespace
}  // namespace kartivo
