// The tile fetcher against tiles the tests make, from a folder and from a server of their own on
// 127.0.0.1 (tile_server.py) that logs each request and answers chosen tiles badly: pixels as
// the tiles hold them, the User-Agent, the connection and rate caps, the cache, and each fault.

#include "geoimport/TileFetch.h"

#include "BatchTestSupport.h"
#include "GeoPictures.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace kartivo::geoimport {
namespace {

using test::TempFolder;

constexpr int Side = 16;

// Red tells the column within the row of tiles, green the row within the column, blue the tile.
std::uint8_t TileValue(const TileAddress& t, int band, int x, int y) {
    if (band == 0) return static_cast<std::uint8_t>(x + Side * (t.x & 15));
    if (band == 1) return static_cast<std::uint8_t>(y + Side * (t.y & 15));
    return static_cast<std::uint8_t>(t.zoom * 32 + t.x * 5 + t.y * 3 + x % 2);
}

enum class Kind { Rgb, Palette, Grey };

void MakeTile(const std::string& folder, const TileAddress& t, Kind kind = Kind::Rgb) {
    std::filesystem::create_directories(folder + "/" + std::to_string(t.zoom) + "/" + std::to_string(t.x));
    test::Source spec{.driver = "PNG", .georeferenced = false, .width = Side, .height = Side,
                      .bands = kind == Kind::Rgb ? 3 : 1, .palette = kind == Kind::Palette};
    spec.value = [t](int b, int x, int y) { return TileValue(t, b - 1, x, y); };  // bands count from 1
    test::MakePicture(spec, folder + "/" + TileName(t) + ".png");
}

// What a tile made so should decode to.
std::vector<std::uint8_t> Expected(const TileAddress& t, Kind kind) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < Side; ++y) {
        for (int x = 0; x < Side; ++x) {
            const int v = TileValue(t, 0, x, y);
            if (kind == Kind::Palette) rgb.insert(rgb.end(), {std::uint8_t(255 - v), std::uint8_t(v / 2), std::uint8_t((v * 7) & 0xFF)});
            if (kind == Kind::Grey) rgb.insert(rgb.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)});
            if (kind == Kind::Rgb) rgb.insert(rgb.end(), {TileValue(t, 0, x, y), TileValue(t, 1, x, y), TileValue(t, 2, x, y)});
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
    const std::vector<Kind> kinds{Kind::Rgb, Kind::Palette, Kind::Grey, Kind::Rgb,
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
        {"html", false, 1, "HTTP status 200, but the answer is no picture (text/html)"},
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
        TileFetcher fetcher(Options(server.Template(), scratch.File("cache")));
        const TileRowResult result = fetcher.FetchRow(row, urls);

        const auto& requests = server.Requests();
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(), [&](const test::Json& r) { return r["path"] == path; }),
                  c.requests);
        if (*c.failure != '\0') {
            EXPECT_EQ(result.status.message, "Cannot fetch tile 5/17/11 from " + server.Url(bad) + ": " + c.failure);
            EXPECT_FALSE(fetcher.IsCached(bad));
            continue;
        }
        ASSERT_EQ(result.status.message, "");
        EXPECT_EQ(result.tiles[1].missing, c.missing);
        EXPECT_EQ(result.tiles[2].rgb, Expected(row[2], Kind::Rgb));
        if (c.missing) {
            EXPECT_EQ(fetcher.Missing(), std::vector<TileAddress>{bad});
            EXPECT_EQ(MissingTilesWarning(fetcher.Missing()),
                      "1 tile is missing at the source (HTTP 404 or 204) and left white: 5/17/11");
        } else {
            EXPECT_EQ(result.tiles[1].rgb, Expected(bad, Kind::Rgb));
        }
    }
}

}  // namespace
}  // namespace kartivo::geoimport
