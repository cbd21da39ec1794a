#include "geo/ControlPoints.h"

#include "MemoryFile.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <optional>

namespace kartivo {
namespace {

using Points = std::vector<ControlPoint>;

TEST(ReadPointsText, ReadsTheSystemAndPointsOfAGeoreferencerFile) {
    const std::string wkt =
        R"w(GEOGCRS["WGS 84",DATUM["World Geodetic System 1984",ELLIPSOID["WGS 84",6378137,298.257223563,)w"
        R"w(LENGTHUNIT["metre",1]]],PRIMEM["Greenwich",0,ANGLEUNIT["degree",0.0174532925199433]],CS[ellipsoidal,2],)w"
        R"w(AXIS["geodetic latitude (Lat)",north,ORDER[1]],AXIS["geodetic longitude (Lon)",east,ORDER[2]],)w"
        R"w(ANGLEUNIT["degree",0.0174532925199433],ID["EPSG",4326]])w";
    const std::string text = "#CRS: " + wkt + "\r\nmapX,mapY,sourceX,sourceY,enable,dX,dY,residual\r\n" +
                             "139.6917,35.6895,120.5,-80.25,1,0.3,-0.1,0.316\r\n" +
                             "-0.1278,51.5074,4000,-2999.5,0,0,0,0\r\n";
    const PointsFileReading reading = ReadPointsText(text);
    EXPECT_EQ(reading.error, PointsFileError::None);
    EXPECT_EQ(reading.file.crsWkt, wkt);
    EXPECT_EQ(reading.file.points, (Points{{120.5, 80.25, 139.6917, 35.6895, true}, {4000, 2999.5, -0.1278, 51.5074, false}}));
}

TEST(ReadPointsText, FindsColumnsByNameWhateverTheirOrder) {
    const PointsFileReading reading = ReadPointsText(
        "\xEF\xBB\xBF\n# scanned 1921\nenable, sourceY ,mapY,sourceX,mapX\n\n0,-7,-33.5,12,+18.25\n1,3e2,1e-3,0,-180\n");
    EXPECT_EQ(reading.error, PointsFileError::None);
    EXPECT_EQ(reading.file.crsWkt, "");
    EXPECT_EQ(reading.file.points, (Points{{12, 7, 18.25, -33.5, false}, {0, -300, -180, 0.001, true}}));
}

TEST(WritePointsText, WritesReversedRowsAndResidualsAndReadsBackExactly) {
    const std::string written = "#CRS: GEOGCRS[\"x\"]\n#TRANSFORM: poly3\nmapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n"
                                "3,4,1.5,-2,0,0.5,-0.25,0.75\n";
    EXPECT_EQ(WritePointsText({"GEOGCRS[\"x\"]", {{1.5, 2, 3, 4, false}}, PointTransform::Polynomial3},
                              {{0.5, 0.25, 0.75, 9}}),
              written);
    EXPECT_EQ(ReadPointsText(written).file.transform, PointTransform::Polynomial3);
    EXPECT_EQ(ReadPointsText("#TRANSFORM: poly9\n" + written.substr(written.find("map"))).file.transform, std::nullopt);

    const PointsFile file{"", {{0.1, 1.0 / 3, 179.99999999999997, -89.99999999999999, true},
                               {DBL_MIN, 5e-324, -DBL_MAX, 1e-300, false},
                               {0, 1234567.8901234567, 2.0 / 3, -1e22, true}}};
    const PointsFileReading reading = ReadPointsText(WritePointsText(file, {}));
    EXPECT_EQ(reading.error, PointsFileError::None);
    EXPECT_EQ(reading.file.points, file.points);
}

TEST(ReadPointsText, ReportsErrorsWithTheirLine) {
    const std::string header = "mapX,mapY,sourceX,sourceY,enable\n";
    const auto points = [](std::size_t count) {
        std::string lines;
        for (std::size_t i = 0; i < count; ++i) lines += "1,2,3,-4,1\n";
        return lines;
    };
    const struct { std::string text; PointsFileError error; int line; } cases[] = {
        {"", PointsFileError::NoHeader, 1},
        {"#CRS: GEOGCS [\"x\"]\n\n", PointsFileError::NoHeader, 3},
        {"\n1,2,3,-4,1\n", PointsFileError::NoHeader, 2},
        {"#CRS: COMPD_CS(\"x\")\r\nmapX,mapY,sourceX,enable\r\n", PointsFileError::MissingColumn, 2},
        // GDAL would read a file, or fetch an address, that such a line names.
        {"#CRS: /etc/passwd\n" + header, PointsFileError::CrsNotWkt, 1},
        {"\n#CRS: https://example.org/crs[1]\n" + header, PointsFileError::CrsNotWkt, 2},
        {"#CRS: [GEOGCRS]\n" + header, PointsFileError::CrsNotWkt, 1},
        {"#CRS: crs[1]\n" + header, PointsFileError::CrsNotWkt, 1},
        {"#CRS: GEOGCS<\"x\">\n" + header, PointsFileError::CrsNotWkt, 1},  // a bracket, not any sign
        {"#CRS: _X[\"x\"]\n" + header, PointsFileError::CrsNotWkt, 1},       // a keyword starts with a letter
        {header + points(MostPoints), PointsFileError::None, 0},
        {header + points(MostPoints + 1), PointsFileError::TooManyPoints, static_cast<int>(MostPoints) + 2},
        {header + "1,2,3,-4,1\n\n1,2,3x,-4,1\n", PointsFileError::BadNumber, 4},
        {header + "1,2,3,-4,1\n1,2,3\n", PointsFileError::BadNumber, 3},
        {header + "1,2,nan,-4,1\n", PointsFileError::BadNumber, 2},
        {header + "1,2,3,,1\n", PointsFileError::BadNumber, 2},
        {header + "1,2,3,-4,yes\n", PointsFileError::BadEnable, 2},
        {header + "1,2,3,-4,\n", PointsFileError::BadEnable, 2},
    };
    for (const auto& c : cases) {
        const PointsFileReading reading = ReadPointsText(c.text);
        EXPECT_EQ(reading.error, c.error) << c.text;
        EXPECT_EQ(reading.line, c.line) << c.text;
    }
}

// A file is judged by the size of its open handle before a byte is read, and its reading stops a
// byte past the limit all the same, should it not tell its size or grow.
TEST(ReadPointsFrom, RefusesAFileBeyondTheLimitReadingNoMoreThanAByteOfIt) {
    struct LyingFile : test::MemoryFile {
        using MemoryFile::MemoryFile;
        std::optional<std::uint64_t> Size() override { return 10; }
    };
    std::string whole = "mapX,mapY,sourceX,sourceY,enable\n1,2,3,-4,1\n";
    whole.resize(MostPointsFileBytes, '\n');
    // Two bytes over: the read stops one byte past the limit, not at the end of the file.
    for (const std::size_t extra : {0, 2}) {
        std::vector<std::uint8_t> bytes(whole.begin(), whole.end());
        bytes.resize(bytes.size() + extra, '\n');
        test::MemoryFile told(bytes);
        LyingFile lying(bytes);
        for (test::MemoryFile* file : {&told, static_cast<test::MemoryFile*>(&lying)}) {
            const PointsFileReading reading = ReadPointsFrom(*file);
            EXPECT_EQ(reading.error, extra == 0 ? PointsFileError::None : PointsFileError::TooLarge);
            EXPECT_EQ(reading.file.points.size(), extra == 0 ? 1U : 0U);
            if (extra == 0) continue;
            EXPECT_EQ(file->BytesRead(), file == &told ? 0 : MostPointsFileBytes + 1);
            EXPECT_EQ(PointsFileProblem(reading), (file == &told ? "it holds 16777218 bytes, more" : "it holds more") +
                                                      std::string(" than the 16777216 bytes (16 MiB) a .points file may hold"));
        }
    }
}

// A count the transform cannot take is refused with the numbers; the spline's limit counts only
// the points it fits, the set's every point.
TEST(PointCountProblem, SaysTheLimitAndTheCount) {
    const auto set = [](std::size_t enabled, std::size_t disabled) {
        Points points(enabled, ControlPoint{});
        points.resize(enabled + disabled, ControlPoint{.enabled = false});
        return points;
    };
    const struct { Points points; PointTransform transform; std::string problem; } cases[] = {
        {set(2, 5), PointTransform::Polynomial1, "the poly1 transform needs at least 3 points; 2 are enabled"},
        {set(1, 0), PointTransform::ThinPlateSpline, "the tps transform needs at least 3 points; 1 is enabled"},
        {set(9, 0), PointTransform::Polynomial3, "the poly3 transform needs at least 10 points; 9 are enabled"},
        {set(MostPoints, 0), PointTransform::Polynomial3, ""},
        {set(MostSplinePoints, 50), PointTransform::ThinPlateSpline, ""},
        {set(MostSplinePoints + 1, 0), PointTransform::ThinPlateSpline,
         "the tps transform takes at most 1000 points (its time grows with the cube of their count); 1001 are enabled"},
        {set(MostPoints, 1), PointTransform::Polynomial1, "a set holds at most 10000 points; this one has 10001"},
    };
    for (const auto& c : cases) EXPECT_EQ(PointCountProblem(c.points, c.transform), c.problem);
}

// The picture's edges count as within it; a point beyond them is named with where it lies, and a
// set with none within cannot place the picture, the likeliest reason said.
TEST(FindPointsOutside, NamesThePointsBeyondTheEdgesAndTellsWhenNoneIsWithin) {
    const PictureSize picture{40, 30};
    const auto at = [](double column, double row, bool enabled = true) { return ControlPoint{column, row, 0, 0, enabled}; };
    const struct { Points points; std::vector<std::size_t> outside; bool all; std::string text; } cases[] = {
        {{at(0, 0), at(40, 30), at(40, 0), at(0, 30), at(99, 99, false)}, {}, false, ""},
        {{at(0, 0), at(40, 30), at(40.5, 2)}, {2}, false, "point 3 (column 40.5, row 2) lies outside the picture (40 x 30 pixels)"},
        {{at(-1, 0), at(20, 10), at(0, 30.25)}, {0, 2}, false,
         "points 1 (column -1, row 0) and 3 (column 0, row 30.25) lie outside the picture (40 x 30 pixels)"},
        {{at(5, -5), at(35, -25), at(9, 9, false)}, {0, 1}, true,
         "every enabled point lies outside the picture (40 x 30 pixels): points 1 (column 5, row -5) and 2 (column 35, "
         "row -25); all lie above it: is a .points file's sourceY (negative downwards) written positive?"},
        {{at(41, 1), at(1, -1), at(2, 31), at(41, 2), at(50, 5), at(60, 6), at(70, 7)}, {0, 1, 2, 3, 4, 5, 6}, true,
         "every enabled point lies outside the picture (40 x 30 pixels): points 1 (column 41, row 1), 2 (column 1, row "
         "-1), 3 (column 2, row 31), 4 (column 41, row 2), 5 (column 50, row 5) and 2 more"},
    };
    for (const auto& c : cases) {
        const PointsOutside found = FindPointsOutside(c.points, picture);
        EXPECT_EQ(found.indices, c.outside);
        EXPECT_EQ(found.all, c.all);
        EXPECT_EQ(found.text, c.text);
    }
}

TEST(ReadPointCoordinate, TakesWhatTheCornerBoxesTake) {
    const struct { const char* text; std::int32_t limit; std::optional<double> expected; } cases[] = {
        {"35.5", 90, 35.5}, {" -180 ", 180, -180}, {"1e1", 90, 10}, {"90.4", 90, std::nullopt},
        {"-90.0001", 90, std::nullopt}, {"+35°30' 00.0000''", 90, 35.5}, {"-0°30' 36''", 90, -0.51},
        {"12°", 180, 12}, {"90°30'", 90, std::nullopt}, {"35°61'", 90, std::nullopt}, {"35,5", 90, std::nullopt},
        {"north", 90, std::nullopt}, {"", 90, std::nullopt}, {"90", 90, 90}, {"-180", 180, -180}, {"180", 180, 180},
    };
    for (const auto& c : cases) {
        const std::optional<double> value = ReadPointCoordinate(c.text, c.limit);
        ASSERT_EQ(value.has_value(), c.expected.has_value()) << c.text;
        if (value) {
            EXPECT_DOUBLE_EQ(*value, *c.expected) << c.text;
        }
    }
}

// Every form people write a coordinate in is taken; a refusal tells why, and names the text.
TEST(ReadTypedCoordinate, TakesTheFormsPeopleWriteAndSaysWhyItRefusesOne) {
    using enum CoordinateFault;
    const double d = 25 + 14 / 60.0 + 43.6622 / 3600;
    const struct { const char* text; std::int32_t limit; double expected; CoordinateFault fault; } cases[] = {
        {"25.2455", 90, 25.2455, None}, {" -78.5 ", 180, -78.5, None}, {"+36", 90, 36, None}, {"25°", 90, 25, None},
        {"25°14'43.6622\"", 90, d, None}, {"25° 14' 43.6622''", 90, d, None}, {"+25°14' 43.6622''", 90, d, None},
        {"25 ° 14 ' 43.6622 \"", 90, d, None}, {"25 14 43.6622", 90, d, None}, {"25°14′43.6622″", 90, d, None},
        {"25°14.727'", 90, 25 + 14.727 / 60, None}, {"25 14.727", 90, 25 + 14.727 / 60, None},
        {"-0°30' 36''", 90, -0.51, None}, {"-0 30", 90, -0.5, None}, {"25 14'", 90, 25 + 14 / 60.0, None},
        {"N 25°14'43.6622\"", 90, d, None}, {"25°14'43.6622\"S", 90, -d, None}, {"s25.5", 90, -25.5, None},
        {"78.5 w", 180, -78.5, None}, {"E139", 180, 139, None}, {"90", 90, 90, None}, {"-180", 180, -180, None},
        {"90 S", 90, -90, None}, {"180°E", 180, 180, None}, {"89 59 59.999", 90, 89 + 3599.999 / 3600, None},
        // Refused, by their form.
        {"", 90, 0, Unreadable}, {"abc", 90, 0, Unreadable}, {"N", 90, 0, Unreadable}, {"35,5", 90, 0, Unreadable},
        {"25.5 30", 90, 0, Unreadable}, {"25°14.5'30\"", 90, 0, Unreadable}, {"25 14 43 1", 90, 0, Unreadable},
        {"25'", 90, 0, Unreadable}, {"25°43\"", 90, 0, Unreadable}, {"N 25 S", 90, 0, Unreadable},
        {"25°°", 90, 0, Unreadable}, {"25-14", 90, 0, Unreadable}, {"nan", 90, 0, Unreadable},
        // By their values.
        {"90.0001", 90, 0, Beyond}, {"-91", 90, 0, Beyond}, {"90 0 1", 90, 0, Beyond}, {"181 W", 180, 0, Beyond},
        {"25 60", 90, 0, MinutesOrSeconds}, {"25 14 60", 90, 0, MinutesOrSeconds},
        {"25 -1 0", 90, 0, MinutesOrSeconds}, {"25°59'59.9999''", 90, 25 + 3599.9999 / 3600, None},
        // By their hemisphere letters.
        {"139 N", 180, 0, WrongHemisphere}, {"e35", 90, 0, WrongHemisphere}, {"-25 S", 90, 0, SignAndHemisphere},
        {"W -78.5", 180, 0, SignAndHemisphere}, {"+25 N", 90, 25, None},
    };
    for (const auto& c : cases) {
        const TypedCoordinate read = ReadTypedCoordinate(c.text, c.limit);
        EXPECT_EQ(read.fault, c.fault) << c.text;
        EXPECT_EQ(read.value.has_value(), c.fault == None) << c.text;
        EXPECT_EQ(read.reason.empty(), c.fault == None) << c.text;
        if (read.value) {
            EXPECT_NEAR(*read.value, c.expected, 1e-12) << c.text;
        }
    }
    EXPECT_EQ(ReadTypedCoordinate("abc", 90).reason,
              "\"abc\" is not a latitude: write degrees (35.6) or degrees, minutes and seconds (35°36'00\")");
    EXPECT_EQ(ReadTypedCoordinate("-95", 90).reason, "\"-95\" is beyond -90°: a latitude lies from -90 to 90");
    EXPECT_EQ(ReadTypedCoordinate("139 60", 180).reason,
              "\"139 60\" is not a longitude: minutes and seconds lie from 0 to below 60");
    EXPECT_EQ(ReadTypedCoordinate("35 E", 90).reason, "\"35 E\" is not a latitude: E and W mark a longitude");
}

TEST(ControlPointSet, UndoesEachChangeInTurn) {
    ControlPointSet set;
    std::vector<Points> states{set.Points()};
    const auto change = [&](auto edit) {
        edit();
        states.push_back(set.Points());
    };
    change([&] { set.Add({1, 2, 3, 4, true}); });
    change([&] { set.Add({5, 6, 7, 8, true}); });
    change([&] { set.Move(0, 10, 20); });
    change([&] { set.SetMap(1, 70, 80); });
    change([&] { set.SetEnabled(0, false); });
    change([&] { set.Remove(0); });
    change([&] { set.Replace({"GEOGCRS[\"x\"]", {{9, 9, 9, 9, true}, {8, 8, 8, 8, false}}}); });
    set.SetSystem("PROJCRS[\"y\"]");
    ASSERT_TRUE(set.Undo());
    EXPECT_EQ(set.System(), "GEOGCRS[\"x\"]") << "the system alone is undone";
    EXPECT_EQ(set.Points(), states.back());
    EXPECT_EQ(states[5], (Points{{10, 20, 3, 4, false}, {5, 6, 70, 80, true}}));
    EXPECT_EQ(states[6], (Points{{5, 6, 70, 80, true}}));
    EXPECT_EQ(set.Points().size(), 2u);
    set.Move(2, 0, 0);
    set.SetMap(5, 0, 0);
    set.SetEnabled(2, true);
    set.Remove(2);
    for (states.pop_back(); !states.empty(); states.pop_back()) {
        ASSERT_TRUE(set.Undo());
        EXPECT_EQ(set.Points(), states.back()) << states.size();
    }
    EXPECT_EQ(set.System(), "");
    EXPECT_FALSE(set.CanUndo());
    EXPECT_FALSE(set.Undo());
}

}  // namespace
}  // namespace kartivo
