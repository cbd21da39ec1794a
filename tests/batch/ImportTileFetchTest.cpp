// Tiles the tests make, fetched from a folder and from a server of the tests' own on 127.0.0.1
// (tile_server.py) that logs each request and answers chosen tiles badly: pixels as the tiles
// hold them, the User-Agent, the connection and rate caps, the cache, each fault, and the import
// of an area through the programs' door, cut pixel for pixel out of the tiles.

#include "bitmap/TileGrid.h"
#include "geoimport/BandLayout.h"
#include "geoimport/Importer.h"
#include "geoimport/TileFetch.h"
#include "geoimport/TileMosaic.h"

#include "BatchTestSupport.h"
#include "GeoPictures.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <regex>

namespace kartivo::geoimport {
namespace {

using test::TempFolder;

constexpr int Side = 256;

using test::MakeTile;
using test::TileValue;
using Kind = test::TileKind;

// What a tile made so should decode to.
std::vector<std::uint8_t> Expected(const TileAddress& t, Kind kind) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < Side; ++y) {
        for (int x = 0; x < Side; ++x) {
            const int v = TileValue(t, 0, x, y);
            if (kind == Kind::Palette) rgb.insert(rgb.end(), {std::uint8_t(255 - v), std::uint8_t(v / 2), std::uint8_t((v * 7) & 0xFF)});
            if (kind == Kind::Grey) rgb.insert(rgb.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)});
            if (kind == Kind::Rgb) rgb.insert(rgb.end(), {TileValue(t, 0, x, y), TileValue(t, 1, x, y), TileValue(t, 2, x, y)});
            for (int c = 0; c < 3 && kind == Kind::Rgba; ++c) rgb.push_back(OverWhite(TileValue(t, c, x, y), test::TileAlpha(x, y)));
        }
    }
    return rgb;
}

// tile_server.py serving folder, with rules such as "/5/1/2.png=404"; stopped with the test.
class TileServer {
public:
    TileServer(const std::string& folder, const std::string& log, const std::vector<std::string>& rules) : log_(log) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("no pipe");
        pid_ = fork();
        if (pid_ == 0) {
            // A test killed for taking too long takes its server with it.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(out[1], 1);
            close(out[0]);
            std::vector<std::string> args{KARTIVO_PYTHON, KARTIVO_TILE_SERVER, folder, log};
            args.insert(args.end(), rules.begin(), rules.end());
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        FILE* first = fdopen(out[0], "r");
        if (fscanf(first, "%d", &port_) != 1) port_ = 0;
        fclose(first);
    }
    ~TileServer() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::string Url(const TileAddress& t) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + TileName(t) + ".png";
    }
    std::string Template() const { return "http://127.0.0.1:" + std::to_string(port_) + "/{z}/{x}/{y}.png"; }
    std::vector<test::Json> Requests() const {
        std::ifstream in(log_);
        return test::JsonLines(std::string(std::istreambuf_iterator<char>(in), {}));
    }

private:
    std::string log_;
    pid_t pid_ = -1;
    int port_ = 0;
};

std::vector<TileAddress> Row(int z, int y, int fromX, int count) {
    std::vector<TileAddress> row;
    for (int x = fromX; x < fromX + count; ++x) row.push_back({z, x, y});
    return row;
}

TileFetchOptions Options(const std::string& source, const std::string& cache) {
    TileFetchOptions options{.source = source, .userAgent = "Kartivo/9.8.7", .rate = 0, .timeoutSeconds = 0.5,
                             .firstRetryWait = 0.01, .cacheFolder = cache};
    return options;
}

TEST(TileFetch, TilesArriveAsMadePolitelyAndOnceFromFolderAndServer) {
    TempFolder tiles, scratch, work;
    const std::vector<TileAddress> row = Row(5, 11, 16, 8);
    const std::vector<Kind> kinds{Kind::Rgb, Kind::Palette, Kind::Grey, Kind::Rgba,
                                  Kind::Rgb, Kind::Rgb, Kind::Rgb, Kind::Rgb};
    for (std::size_t i = 0; i < row.size(); ++i) MakeTile(tiles.Path().string(), row[i], kinds[i]);
    TileServer server(tiles.Path().string(), scratch.File("log"), {});
    ASSERT_NE(server.Template(), "");

    // The cache where the user's cache folder is, and nothing in the working folder.
    const std::string home = scratch.File("cache");
    setenv("XDG_CACHE_HOME", home.c_str(), 1);
    const auto back = std::filesystem::current_path();
    std::filesystem::current_path(work.Path());
    std::vector<std::string> urls, files;
    for (const auto& t : row) urls.push_back(server.Url(t));
    for (const auto& t : row) files.push_back("file://" + tiles.File(TileName(t) + ".png"));
    TileFetchOptions polite = Options(server.Template(), DefaultTileCacheFolder());
    polite.rate = 4;
    TileFetcher fetcher(polite);
    const TileRowResult fetched = fetcher.FetchRow(row, urls);
    TileFetcher again(polite);
    const TileRowResult cached = again.FetchRow(row, urls);
    TileFetcher local(Options("file://" + tiles.File("{z}/{x}/{y}.png"), ""));
    const TileRowResult read = local.FetchRow(row, files);
    std::filesystem::current_path(back);
    // The base directory rules ignore a relative path: it would be the working folder's. With
    // no home either, nothing is cached.
    setenv("XDG_CACHE_HOME", "relative", 1);
    const std::string userHome = getenv("HOME");
    EXPECT_EQ(DefaultTileCacheFolder(), userHome + "/.cache/kartivo/tiles");
    setenv("HOME", "relative", 1);
    EXPECT_EQ(DefaultTileCacheFolder(), "");
    setenv("HOME", userHome.c_str(), 1);
    unsetenv("XDG_CACHE_HOME");

    for (const TileRowResult* result : {&fetched, &cached, &read}) {
        ASSERT_EQ(result->status.message, "");
        ASSERT_EQ(result->tiles.size(), row.size());
        for (std::size_t i = 0; i < row.size(); ++i) {
            SCOPED_TRACE(TileName(row[i]));
            EXPECT_FALSE(result->tiles[i].missing);
            EXPECT_EQ(result->tiles[i].width, Side);
            EXPECT_EQ(result->tiles[i].rgb, Expected(row[i], kinds[i]));
        }
    }
    EXPECT_EQ(test::FolderEntries(work.Path()), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::is_directory(home + "/kartivo/tiles"));
    EXPECT_TRUE(again.IsCached(row[0]));
    EXPECT_FALSE(again.IsCached({5, 0, 0}));
    EXPECT_EQ(again.Fetched(), 0);

    const std::vector<test::Json> requests = server.Requests();
    ASSERT_EQ(requests.size(), row.size()) << "the second run asked the server again";
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i]["userAgent"], "Kartivo/9.8.7");
        EXPECT_LE(requests[i]["inFlight"].get<int>(), 2);
        // No more than 4 new tiles in any second.
        if (i >= 4) {
            EXPECT_GE(requests[i]["time"].get<double>() - requests[i - 4]["time"].get<double>(), 0.95);
        }
    }
    // A tile that cannot take its place in the cache leaves no hidden half of itself there.
    // A rate of one tile a second is a limit too.
    TileFetchOptions blocked = Options(server.Template(), scratch.File("blocked"));
    blocked.rate = 1;
    TileFetcher(blocked).FetchRow({row[0], row[1]}, {urls[0], urls[1]});
    const std::vector<test::Json> slow = server.Requests();
    EXPECT_GE(slow.back()["time"].get<double>() - slow[slow.size() - 2]["time"].get<double>(), 0.95);
    std::filesystem::path taken;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(blocked.cacheFolder)) {
        if (entry.is_regular_file() && entry.path().parent_path().filename() == std::to_string(row[0].x)) taken = entry.path();
    }
    std::filesystem::remove(taken);
    std::filesystem::create_directory(taken);
    EXPECT_EQ(TileFetcher(blocked).FetchRow({row[0]}, {urls[0]}).status.message, "");
    EXPECT_EQ(test::FolderEntries(taken.parent_path()), std::vector<std::string>{taken.filename().string()});
}

TEST(TileFetch, FaultsAreNamedRetriedOrLeftWhite) {
    const TileAddress bad{5, 17, 11};
    const std::string path = "/" + TileName(bad) + ".png";
    const struct {
        const char* rule;
        bool missing;        // white, named in the warning, and the rest fetched
        int requests;        // of the bad tile
        const char* failure;  // in the message beside the tile and its URL; empty: no failure
    } cases[] = {
        {"404", true, 1, ""},
        {"204", true, 1, ""},
        {"500:2", false, 3, ""},
        {"500:-1", false, 4, "HTTP status 500, after 3 retries"},
        {"html:-1", false, 1, "HTTP status 200, but the answer is no picture (text/html)"},
        {"slow:1", false, 4, "no answer within 0.5 s (no HTTP status), after 3 retries"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        TempFolder tiles, scratch;
        const std::vector<TileAddress> row = Row(5, 11, 16, 3);
        for (const auto& t : row) MakeTile(tiles.Path().string(), t);
        TileServer server(tiles.Path().string(), scratch.File("log"), {path + "=" + c.rule});
        std::vector<std::string> urls;
        for (const auto& t : row) urls.push_back(server.Url(t));
        TileFetchOptions options = Options(server.Template(), scratch.File("cache"));
        options.firstRetryWait = 0.1;  // well above a request's own time, so the waits show
        TileFetcher fetcher(options);
        const TileRowResult result = fetcher.FetchRow(row, urls);

        const auto& requests = server.Requests();
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(), [&](const test::Json& r) { return r["path"] == path; }),
                  c.requests);
        // Each retry waits twice as long as the one before.
        std::vector<double> times;
        for (const auto& r : requests) {
            if (r["path"] == path) times.push_back(r["time"].get<double>());
        }
        for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 0.1 * double(1 << (i - 1)));
        if (*c.failure != '\0') {
            EXPECT_EQ(result.status.message, "Cannot fetch tile 5/17/11 from " + server.Url(bad) + ": " + c.failure);
            EXPECT_FALSE(fetcher.IsCached(bad));
            continue;
        }
        ASSERT_EQ(result.status.message, "");
        EXPECT_EQ(result.tiles[1].missing, c.missing);
        EXPECT_EQ(result.tiles[2].rgb, Expected(row[2], Kind::Rgb));
        if (c.missing) {
            EXPECT_EQ(MissingTilesWarning(fetcher.Missing()),
                      "1 tile is missing at the source (HTTP 404 or 204) and left white: 5/17/11");
        } else {
            EXPECT_EQ(result.tiles[1].rgb, Expected(bad, Kind::Rgb));
        }
    }
    // A long list names the first five and counts the rest.
    EXPECT_EQ(MissingTilesWarning(Row(5, 11, 16, 7)), "7 tiles are missing at the source (HTTP 404 or 204) and left "
                                                      "white: 5/16/11, 5/17/11, 5/18/11, 5/19/11, 5/20/11 and 2 more");
}


// An area cutting into its edge tiles on every side: tiles 16 to 18 of rows 10 to 12 at zoom 5.
TileRequest AreaRequest(const std::string& source) {
    const double left = LongitudeAtPixelX(5, 16 * 256 + 200.5), right = LongitudeAtPixelX(5, 18 * 256 + 60.5);
    return {.source = source, .zoom = 5,
            .box = {LatitudeAtPixelY(5, 12 * 256 + 20.5), left, LatitudeAtPixelY(5, 10 * 256 + 230.5), right},
            .rate = 1000};
}

// Imports the request into folder: what went wrong, or nothing.
std::string ImportArea(const TileRequest& request, const std::string& folder, const ImportProgress& progress = {}) {
    ImportPreparation prepared = TheImporter().PrepareTiles(request);
    if (!prepared.job) return prepared.status.message;
    return prepared.job->Write({folder + "/" + prepared.job->Parts()[0].fileName}, progress).message;
}

// Tiles 16 to 18 of rows 10 to 12 at zoom 5 in folder, laid out as pattern.
void MakeAreaTiles(const std::string& folder, const std::string& pattern = "{z}/{x}/{y}.png") {
    for (std::int64_t x = 16; x <= 18; ++x) {
        for (std::int64_t y = 10; y <= 12; ++y) MakeTile(folder, {5, x, y}, Kind::Rgb, pattern);
    }
}

// A DataWindow from its corners in metres, written to centimetres as such files are, and the
// elements that give its size.
constexpr double Half = WebMercatorHalfSide;
std::string DataWindow(double left, double top, double right, double bottom, const std::string& size) {
    char corners[256];
    std::snprintf(corners, sizeof corners,
                  "<UpperLeftX>%.2f</UpperLeftX><UpperLeftY>%.2f</UpperLeftY><LowerRightX>%.2f</LowerRightX>"
                  "<LowerRightY>%.2f</LowerRightY>",
                  left, top, right, bottom);
    return "<DataWindow>" + std::string(corners) + size + "</DataWindow>";
}

// tiles x tiles of the level's tiles over the window.
std::string TileCount(int level, int tiles) {
    return "<TileLevel>" + std::to_string(level) + "</TileLevel><TileCountX>" + std::to_string(tiles) +
           "</TileCountX><TileCountY>" + std::to_string(tiles) + "</TileCountY>";
}

// The whole grid.
std::string World(int level, int tiles) { return DataWindow(-Half, Half, Half, -Half, TileCount(level, tiles)); }

// A GDAL_WMS description of a TMS service at base (rows counted from the bottom, as TMS does);
// extra goes first inside it, where GDAL takes it over a later element of the same name.
std::string WriteTmsXml(const std::string& path, const std::string& base, const std::string& extra = "") {
    std::ofstream(path) << "<GDAL_WMS>" << extra << "<Service name=\"TMS\"><ServerUrl>" << base << "${z}/${x}/${y}.png</ServerUrl>"
                        << "</Service>" << World(5, 1) << "<Projection>EPSG:3857</Projection><BlockSizeX>256</BlockSizeX>"
                        << "<BlockSizeY>256</BlockSizeY><Cache/></GDAL_WMS>";
    return path;
}

// The area's tiles as an MBTiles package, as GDAL writes one from a Web Mercator picture: the
// gone tile clear, which GDAL leaves out, and a credit of the package's own in its metadata.
std::string MakeMbtiles(const std::string& folder, const TileAddress& gone) {
    const double pixel = TilePixelMetres(5);
    test::Source spec{.driver = "MBTiles", .crs = "EPSG:3857",
                      .geoTransform = {16 * 256 * pixel - WebMercatorHalfSide, pixel, 0,
                                       WebMercatorHalfSide - 10 * 256 * pixel, 0, -pixel},
                      .width = 768, .height = 768, .bands = 4, .alpha = true};
    spec.value = [gone](int b, int x, int y) -> std::uint16_t {
        const TileAddress t{5, 16 + x / 256, 10 + y / 256};
        if (b == 4) return t.x == gone.x && t.y == gone.y ? 0 : 255;
        return TileValue(t, b - 1, x % 256, y % 256);
    };
    // GDAL's SQLite driver opens it to write the credit only under a name not taken for MBTiles.
    const std::string made = folder + "/area.db";
    test::MakePicture(spec, made);
    const char* const sqlite[] = {"SQLite", nullptr};
    GDALDatasetH db = GDALOpenEx(made.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, sqlite, nullptr, nullptr);
    GDALDatasetExecuteSQL(db, "INSERT INTO metadata VALUES ('attribution', '© Test Tiles')", nullptr, nullptr);
    GDALClose(db);
    std::filesystem::rename(made, folder + "/area.mbtiles");
    return folder + "/area.mbtiles";
}

// Every kind of source, the tiles served by the tests' server or read from a folder or package:
// each pixel where its tile has it, a missing tile white, every request with the User-Agent
// (a WMTS's capabilities too), nothing in the working folder, and the cache counted as info does.
TEST(TileImport, AreaIsCutPixelForPixelFromItsTilesForEachSource) {
    const TileAddress gone{5, 17, 11};
    const struct {
        const char* pattern;  // of the tiles in the folder
        const char* kind;
        const char* levels;  // a GDAL source's, as it names them refusing zoom 7
    } cases[] = {{"{z}/{x}/{y}.png", "template", ""}, {"{z}/{x}/{-y}.png", "template", ""}, {"{q}.png", "file", ""},
                 {"{z}/{x}/{-y}.png", "xml", "0 to 5"}, {"{z}/{x}/{y}.png", "wmts6", "0 to 6"}, {"{z}/{x}/{y}.png", "wmts5", "0 to 5"},
                 {"", "mbtiles", "5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.pattern);
        const std::string kind = c.kind;
        TempFolder tiles, scratch, work;
        setenv("XDG_CACHE_HOME", scratch.File("cache").c_str(), 1);
        if (kind != "mbtiles") {
            MakeAreaTiles(tiles.Path().string(), c.pattern);
            std::filesystem::remove(tiles.File(FillTileTemplate(c.pattern, gone)));
        }
        TileServer server(tiles.Path().string(), scratch.File("log"), {});
        const std::string base = server.Template().substr(0, server.Template().find("{z}"));
        const std::string source = kind == "template" ? base + c.pattern
                                   : kind == "file"   ? "file://" + tiles.File(c.pattern)
                                   : kind == "xml"    ? WriteTmsXml(tiles.File("tms.xml"), base)
                                   : kind.starts_with("wmts") ? "WMTS:" + base + kind + ".xml"
                                                      : MakeMbtiles(tiles.Path().string(), gone);
        TileRequest request = AreaRequest(source);
        const auto back = std::filesystem::current_path();
        std::filesystem::current_path(work.Path());
        if (*c.levels != '\0') {
            request.zoom = 7;
            EXPECT_EQ(ImportArea(request, scratch.Path().string()),
                      "zoom 7 is none of its levels (" + std::string(c.levels) +
                          "), and a level is copied pixel for pixel, never resampled from another");
            request.zoom = 5;
        }
        ImportPreparation prepared = TheImporter().PrepareTiles(request);
        ASSERT_TRUE(prepared.job) << prepared.status.message;
        const std::string path = scratch.File(prepared.job->Parts()[0].fileName);
        const ImportStatus status = prepared.job->Write({path});
        std::filesystem::current_path(back);
        EXPECT_EQ(test::FolderEntries(work.Path()), std::vector<std::string>{});
        // GDAL keeps the URLs of a WMTS's finest level to itself, so its cache goes uncounted.
        const bool counted = kind != "file" && kind != "mbtiles" && kind != "wmts5";
        EXPECT_EQ(TheImporter().CachedTiles(request), counted ? std::optional<std::int64_t>(8) : std::nullopt);
        unsetenv("XDG_CACHE_HOME");
        ASSERT_EQ(status.message, "");
        EXPECT_EQ(prepared.job->Warning(), std::string("1 tile is missing ") +
                                               (kind == "mbtiles" ? "in the source" : "at the source (HTTP 404 or 204)") +
                                               " and left white: 5/17/11");
        EXPECT_EQ(prepared.job->Attribution(), kind == "mbtiles" ? "© Test Tiles" : "");
        for (const auto& r : server.Requests()) {
            EXPECT_EQ(r["userAgent"], DefaultUserAgent()) << r["path"];
            EXPECT_LE(r["inFlight"].get<int>(), 2);
        }
        const TileArea area = CutTileArea(5, request.box).parts.at(0);
        const test::Decoded picture = test::DecodeFile(path);
        ASSERT_EQ(picture.width, 373);
        ASSERT_EQ(picture.height, 303);
        int wrong = 0;
        for (int row = 0; row < picture.height; ++row) {
            for (int column = 0; column < picture.width; ++column) {
                const std::int64_t gx = area.left + column, gy = area.top + row;
                const TileAddress tile{5, gx / 256, gy / 256};
                for (int band = 0; band < 3; ++band) {
                    const int expected = tile.x == gone.x && tile.y == gone.y ? 255 : TileValue(tile, band, gx % 256, gy % 256);
                    wrong += picture.pixels[(std::size_t(band) * picture.height + row) * picture.width + column] != expected;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// Through GDAL as from a template: at most --rate new tiles a second; a server error asked again
// with growing waits and then named with the tile, its URL and the status, as is an answer that
// is no picture, at once. Refused before anything is fetched: offline mode with tiles not in the
// cache, which would make them black, and a source off the grid. A source's window of the grid,
// its corners rounded to centimetres, numbers its tiles from its own corner.
TEST(TileImport, GdalSourceFaultsAreRetriedAndNamedAndOfflineOrOffGridRefused) {
    const std::string threeTiles = "<TileLevel>5</TileLevel><SizeX>768</SizeX><SizeY>768</SizeY>";
    const struct {
        const char* rule;   // for the tile 5/17/11
        std::string extra;  // in the XML
        const char* failure;
        int requests;  // of that tile
        int rate = 1000;
        const char* path = "5/17/20.png";  // of that tile, at {z}/{x}/{-y}.png of the source's window
        int zoom = 5;
    } cases[] = {{"500:1", "", "", 2, 2},
                 {"500:-1", "", ": HTTP status 500, after 3 retries", 4},
                 {"html:-1", "", ": HTTP status 200, but the answer is no picture", 1},
                 {"403", "", ": HTTP status 403", 1},  // a refusal is no passing fault
                 {"", "<OfflineMode>true</OfflineMode>", "its XML asks for GDAL's offline mode", 0},
                 {"", "<Projection>EPSG:4326</Projection>", "it is not on Web Mercator's tile grid", 0},
                 {"", DataWindow(-Half, Half, Half, 0, TileCount(5, 1)), "its pixels are not square and north up", 0},
                 // Tiles 16 to 18 of rows 10 to 12, then the same a zoom-5 pixel (4891.97 m) to the east.
                 {"html:-1", DataWindow(0, 7514065.63, 3757032.81, 3757032.81, threeTiles),
                  ": HTTP status 200, but the answer is no picture", 1, 1000, "5/1/1.png"},
                 {"", DataWindow(4891.97, 7514065.63, 3761924.78, 3757032.81, threeTiles),
                  "its corner lies between zoom 4's pixels", 0, 1000, "5/17/20.png", 4},
                 {"", World(5, 3), "m wide, as no zoom level's are", 0},
                 {"", World(0, 1), "", 0, 1000, "5/17/20.png", 0}};  // the one tile 404, left white
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rule) + c.extra);
        TempFolder tiles, scratch;
        setenv("XDG_CACHE_HOME", scratch.File("cache").c_str(), 1);
        MakeAreaTiles(tiles.Path().string(), "{z}/{x}/{-y}.png");
        TileServer server(tiles.Path().string(), scratch.File("log"), {"/" + std::string(c.path) + "=" + c.rule});
        const std::string base = server.Template().substr(0, server.Template().find("{z}"));
        TileRequest request = AreaRequest(WriteTmsXml(tiles.File("tms.xml"), base, c.extra));
        request.rate = c.rate;
        request.zoom = c.zoom;
        const std::string failed = ImportArea(request, scratch.Path().string());
        unsetenv("XDG_CACHE_HOME");
        if (*c.failure != '\0' && *c.failure != ':') {
            EXPECT_TRUE(failed.starts_with(c.failure) || failed.ends_with(c.failure)) << failed;
        } else {
            EXPECT_EQ(failed, *c.failure == '\0' ? "" : "Cannot fetch tile 5/17/11 from " + base + c.path + c.failure);
        }
        std::vector<double> times;
        std::map<std::string, double> firsts;  // each tile's first request
        for (const auto& r : server.Requests()) {
            if (r["path"] == "/" + std::string(c.path)) times.push_back(r["time"].get<double>());
            firsts.emplace(r["path"].get<std::string>(), r["time"].get<double>());
        }
        EXPECT_EQ(times.size(), std::size_t(c.requests));
        // Each retry waits twice as long as the one before: 1, 2 and 4 seconds.
        for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 0.95 * double(1 << (i - 1)));
        std::vector<double> starts;
        for (const auto& [path, time] : firsts) starts.push_back(time);
        std::sort(starts.begin(), starts.end());
        for (std::size_t i = std::size_t(c.rate); i < starts.size(); ++i) EXPECT_GE(starts[i] - starts[i - c.rate], 0.95);
    }
}

std::string NoteText(const std::string& picturePath) {
    const test::Bytes bytes = test::ReadAll(picturePath.substr(0, picturePath.size() - 4) + ".txt");
    return {bytes.begin(), bytes.end()};
}

// A note's lines up to the time of the fetch, which must end it in ISO 8601's UTC form.
std::string NoteBeforeTime(const std::string& note) {
    static const std::regex time("Fetched \\(UTC\\): \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\n$");
    std::smatch found;
    return std::regex_search(note, found, time) ? found.prefix().str() : "no time of fetch in: " + note;
}

std::string BoxText(const TileRequest& request) {
    char box[128];
    std::snprintf(box, sizeof box, "%.10f,%.10f,%.10f,%.10f", request.box.bottom, request.box.left, request.box.top,
                  request.box.right);
    return box;
}

// Refused, canceled or failed, an import leaves nothing but the tiles it fetched in the cache
// (neither a picture nor its note), and the next run fetches only the others.
TEST(TileImport, WhatFailsLeavesOnlyTheCacheForTheNextRun) {
    TempFolder tiles, scratch, out;
    setenv("XDG_CACHE_HOME", scratch.File("cache").c_str(), 1);
    for (std::int64_t x = 16; x <= 18; ++x) {
        for (std::int64_t y = 10; y <= 12; ++y) MakeTile(tiles.Path().string(), {5, x, y});
    }
    // The top row of tiles comes last: rows are written bottom up.
    TileServer server(tiles.Path().string(), scratch.File("log"), {"/5/17/10.png=html:1"});
    TileRequest request = AreaRequest(server.Template());
    request.maxTiles = 8;
    EXPECT_EQ(ImportArea(request, out.Path().string()),
              "the area takes 9 tiles, 9 of them not yet cached, more than the 8 one import may fetch (--max-tiles "
              "raises the limit)");
    request.maxTiles = 9;
    EXPECT_EQ(ImportArea(request, out.Path().string(), [](double) { return false; }),
              "The import was canceled; nothing was written");
    EXPECT_EQ(TheImporter().CachedTiles(request), 3);
    EXPECT_EQ(ImportArea(request, out.Path().string()),
              "Cannot fetch tile 5/17/10 from " + server.Url({5, 17, 10}) +
                  ": HTTP status 200, but the answer is no picture (text/html)");
    EXPECT_EQ(TheImporter().CachedTiles(request), 8);
    EXPECT_EQ(test::FolderEntries(out.Path()), std::vector<std::string>{});
    const std::string box = BoxText(request);
    const test::BatchRun run = test::RunBatchInProcess({"import", "--tiles", server.Template(), "--zoom", "5", "--box",
                                                        box, "--max-tiles", "1", "-o", out.File("area.bmp"),
                                                        "--attribution", "© Test Tiles"}, true);
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("tiles 9 of 9"), std::string::npos) << run.err;
    const std::vector<std::string> written = test::FolderEntries(out.Path());
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(run.out, out.File(written[0]) + "\nattribution: © Test Tiles\n");
    EXPECT_EQ(NoteBeforeTime(NoteText(out.File(written[0]))),
              "Source: " + server.Template() + "\nAttribution: © Test Tiles\nZoom: 5\nBox asked (bottom,left,top,right): " +
                  box + "\nBox fetched, widened to whole pixels: "
                  "40.2795256688,8.7890625000,49.6676278226,25.1806640625\n");
    std::map<std::string, int> asked;
    for (const auto& r : server.Requests()) ++asked[r["path"].get<std::string>()];
    EXPECT_EQ(asked.size(), 9u);
    for (const auto& [path, times] : asked) EXPECT_EQ(times, path == "/5/17/10.png" ? 2 : 1) << path;
}

// Ctrl+C while the last row of tiles is on its way ends the program as Ctrl+C does, with no
// picture, no note and no temporary file left: only the tiles already fetched, in the cache.
TEST(TileImport, CtrlCLeavesOnlyTheCache) {
    TempFolder tiles, scratch, out;
    setenv("XDG_CACHE_HOME", scratch.File("cache").c_str(), 1);
    for (std::int64_t x = 16; x <= 18; ++x) {
        for (std::int64_t y = 10; y <= 12; ++y) MakeTile(tiles.Path().string(), {5, x, y});
    }
    TileServer server(tiles.Path().string(), scratch.File("log"), {"/5/17/10.png=slow:60"});
    const TileRequest request = AreaRequest(server.Template());
    const pid_t child = test::StartBatchProgram({"import", "--tiles", request.source, "--zoom", "5", "--box",
                                                 BoxText(request), "--rate", "1000", "-o", out.File("area.bmp")},
                                                "/dev/null", "/dev/null");
    const auto lastRowAsked = [&] {
        const auto log = server.Requests();
        return std::ranges::any_of(log, [](const test::Json& r) { return r["path"] == "/5/17/10.png"; });
    };
    while (!lastRowAsked() && waitpid(child, nullptr, WNOHANG) != child) usleep(2000);
    ASSERT_TRUE(lastRowAsked()) << "the import ended before it could be stopped";
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(test::FolderEntries(out.Path()), std::vector<std::string>{});
    const std::optional<std::int64_t> cached = TheImporter().CachedTiles(request);
    unsetenv("XDG_CACHE_HOME");
    EXPECT_GE(cached.value_or(0), 6);  // the two lower rows, and perhaps the last row's other tiles
    EXPECT_LE(cached.value_or(9), 8);
}

// Each part of an area across 180 degrees keeps its own note beside it, and lands only with it:
// a note that cannot be written leaves no picture either. Without an attribution the note still
// tells where the map came from.
TEST(TileImport, EachPartKeepsItsNoteAndLandsOnlyWithIt) {
    TempFolder tiles, out;  // no tile at all: white parts are enough here
    const TileRequest request{.source = "file://" + tiles.File("{z}/{x}/{y}.png"), .zoom = 3, .box = {10, 170, 20, -170}};
    ImportPreparation blocked = TheImporter().PrepareTiles(request);
    ASSERT_TRUE(blocked.job) << blocked.status.message;
    std::vector<std::string> paths;
    for (const ImportPlan& part : blocked.job->Parts()) paths.push_back(out.File(part.fileName));
    ASSERT_EQ(paths.size(), 2u);
    const std::string eastNote = paths[1].substr(0, paths[1].size() - 4) + ".txt";
    std::filesystem::create_directory(eastNote);
    const std::string refused = blocked.job->Write(paths).message;
    EXPECT_NE(refused.find(eastNote + ": Is a directory"), std::string::npos) << refused;
    EXPECT_EQ(test::FolderEntries(out.Path()).size(), 1u);
    std::filesystem::remove(eastNote);
    const test::BatchRun run = test::RunBatchInProcess(
        {"import", "--tiles", request.source, "--zoom", "3", "--box", "10,170,20,-170", "-o", out.File("Tiles_z3.bmp")});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string credit = "\nno attribution given (--attribution TEXT)\n";
    EXPECT_EQ(run.out, paths[0] + credit + paths[1] + credit);
    EXPECT_EQ(test::FolderEntries(out.Path()).size(), 4u);
    const char* widened[] = {"9.9688506085,169.9804687500,20.1384703125,180.0000000000",
                             "9.9688506085,-180.0000000000,20.1384703125,-169.9804687500"};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(NoteBeforeTime(NoteText(paths[i])),
                  "Source: " + request.source + "\nAttribution: none given\nZoom: 3\nBox asked (bottom,left,top,right): "
                  "10,170,20,-170\nBox fetched, widened to whole pixels: " + widened[i] + "\n");
    }
}

// Strips asked bottom up, as the import asks for a picture taller than one strip, come out of
// the right rows; a tile of another size than the grid's is refused, not cut wrongly.
TEST(TileImport, StripsComeFromTheirRowsAndForeignTileSizesAreRefused) {
    TempFolder tiles;
    for (std::int64_t x = 16; x <= 18; ++x) {
        for (std::int64_t y = 10; y <= 12; ++y) MakeTile(tiles.Path().string(), {5, x, y});
    }
    const std::string source = "file://" + tiles.Path().string() + "/{z}/{x}/{y}.png";
    const TileArea area = CutTileArea(5, AreaRequest(source).box).parts.at(0);
    TileFetcher fetcher(Options(source, ""));
    TileMosaic mosaic(5, area, [&](const TileAddress& t) { return FillTileTemplate(source, t); }, fetcher);
    const std::size_t rowBytes = std::size_t(area.width) * 3;
    std::vector<std::uint8_t> strip(100 * rowBytes);
    int wrong = 0;
    for (std::int64_t top = area.height - 100; top > -100; top -= 100) {
        const std::int64_t from = std::max<std::int64_t>(top, 0);
        const auto rows = static_cast<std::int32_t>(top + 100 - from);
        ASSERT_EQ(mosaic.ReadRows(from, rows, strip.data(), rowBytes).message, "");
        for (std::int32_t r = 0; r < rows; ++r) {  // lowest row first
            const std::int64_t gy = area.top + from + rows - 1 - r;
            for (std::int64_t column = 0; column < area.width; ++column) {
                const std::int64_t gx = area.left + column;
                const std::uint8_t* pixel = strip.data() + r * rowBytes + column * 3;
                for (int band = 0; band < 3; ++band) {
                    wrong += pixel[2 - band] != TileValue({5, gx / 256, gy / 256}, band, gx % 256, gy % 256);
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    test::MakePicture({.driver = "PNG", .georeferenced = false, .width = 16, .height = 256}, tiles.File("5/17/12.png"));
    TileMosaic narrow(5, area, [&](const TileAddress& t) { return FillTileTemplate(source, t); }, fetcher);
    EXPECT_EQ(narrow.ReadRows(area.height - 1, 1, strip.data(), rowBytes).message,
              "Cannot use tile 5/17/12 from " + FillTileTemplate(source, {5, 17, 12}) + ": it is 16 x 256 pixels, not 256 x 256");
}

}  // namespace
}  // namespace kartivo::geoimport
