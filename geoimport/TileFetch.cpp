#include "geoimport/TileFetch.h"

#include "common/File.h"
#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"

#include <cpl_http.h>
#include <cpl_vsi.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>

namespace kartivo::geoimport {

namespace fs = std::filesystem;

std::string TileName(const TileAddress& tile) {
    return std::to_string(tile.zoom) + "/" + std::to_string(tile.x) + "/" + std::to_string(tile.y);
}

std::string DefaultTileCacheFolder() {
    const char* cache = getenv("XDG_CACHE_HOME");
    // The base directory rules ignore a relative path: it would land in the working folder.
    if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/kartivo/tiles";
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/kartivo/tiles";
    return {};
}

std::string MissingTilesWarning(const std::vector<TileAddress>& missing, const std::string& at) {
    if (missing.empty()) return {};
    constexpr std::size_t Named = 5;
    std::string text = std::to_string(missing.size()) + (missing.size() == 1 ? " tile is" : " tiles are") +
                       " missing " + at + " and left white: ";
    for (std::size_t i = 0; i < std::min(Named, missing.size()); ++i) {
        text += (i > 0 ? ", " : "") + TileName(missing[i]);
    }
    if (missing.size() > Named) text += " and " + std::to_string(missing.size() - Named) + " more";
    return text;
}

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Sleep(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// FNV-1a: stable across builds and runs, unlike std::hash, so a cache outlives the program.
std::string SourceKey(const std::string& source) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : source) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The bytes of a regular file, read through the one handle it is opened as; error says why not.
bool ReadWhole(const std::string& path, std::string& bytes, std::error_code& error) {
    bytes.clear();
    const std::unique_ptr<DescriptorFile> file = OpenRegularFile(path, O_RDONLY, error);
    if (!file) return false;
    if (ReadToEnd(*file, bytes, std::numeric_limits<std::size_t>::max())) return true;
    error = file->LastError();
    return false;
}

// Where a tile is stored in memory for GDAL to open: unique per thread and call.
std::string MemoryName() {
    static std::atomic<std::uint64_t> counter{0};
    return "/vsimem/kartivo-tile-" + std::to_string(counter++);
}

// The HTTP status GDAL puts in its error text ("HTTP error code : 500"); 0 when it gives none.
int HttpStatusOf(const CPLHTTPResult& result) {
    if (result.pszErrBuf == nullptr) return 0;
    const char* found = std::strstr(result.pszErrBuf, "HTTP error code : ");
    return found != nullptr ? std::atoi(found + 18) : 0;
}

// Why an answer is no tile, where GDAL gave no HTTP status or one of an error.
std::string Failure(const CPLHTTPResult* answer, int status, double timeoutSeconds) {
    if (status != 0) return "HTTP status " + std::to_string(status);
    const std::string why = answer != nullptr && answer->pszErrBuf != nullptr ? answer->pszErrBuf : "";
    if (why.find("timed out") != std::string::npos) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", timeoutSeconds);
        return std::string("no answer within ") + seconds + " s (no HTTP status)";
    }
    return "no HTTP status (" + (why.empty() ? LastGdalError("no connection") : why) + ")";
}

using HttpResults = std::vector<std::unique_ptr<CPLHTTPResult, Destroyer<CPLHTTPDestroyResult>>>;

}  // namespace

bool DecodeTile(const std::string& bytes, TilePixels& pixels) {
    InitialiseGdal();
    const std::string name = MemoryName();
    VSILFILE* memory = VSIFileFromMemBuffer(name.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(bytes.data())),
                                            static_cast<vsi_l_offset>(bytes.size()), FALSE);
    if (memory == nullptr) return false;
    VSIFCloseL(memory);
    // Picture formats only: an HTML page must not be read as some other kind of raster.
    const char* const drivers[] = {"PNG", "JPEG", "WEBP", "GTiff", nullptr};
    const Dataset dataset(GDALOpenEx(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr));
    bool ok = false;
    if (dataset) {
        const int width = GDALGetRasterXSize(dataset.get());
        const int height = GDALGetRasterYSize(dataset.get());
        const int bands = GDALGetRasterCount(dataset.get());
        bool bytesOnly = bands >= 1 && bands <= 4;
        for (int b = 1; bytesOnly && b <= bands; ++b) {
            bytesOnly = GDALGetRasterDataType(GDALGetRasterBand(dataset.get(), b)) == GDT_Byte;
        }
        std::vector<std::uint8_t> read(std::size_t(width) * height * std::max(bands, 1));
        if (bytesOnly && GDALDatasetRasterIO(dataset.get(), GF_Read, 0, 0, width, height, read.data(), width, height,
                                             GDT_Byte, bands, nullptr, bands, GSpacing(width) * bands, 1) == CE_None) {
            GDALColorTableH table = bands == 1 ? GDALGetRasterColorTable(GDALGetRasterBand(dataset.get(), 1)) : nullptr;
            pixels.width = width;
            pixels.height = height;
            pixels.missing = false;
            pixels.rgb.resize(std::size_t(width) * height * 3);
            for (std::size_t i = 0, n = std::size_t(width) * height; i < n; ++i) {
                const std::uint8_t* in = read.data() + i * bands;
                std::uint8_t* out = pixels.rgb.data() + i * 3;
                if (table != nullptr) {
                    const GDALColorEntry* entry = GDALGetColorEntry(table, in[0]);
                    const auto byte = [](short value) { return static_cast<std::uint8_t>(value); };
                    const std::uint8_t alpha = entry != nullptr ? byte(entry->c4) : 0;
                    out[0] = OverWhite(entry != nullptr ? byte(entry->c1) : 255, alpha);
                    out[1] = OverWhite(entry != nullptr ? byte(entry->c2) : 255, alpha);
                    out[2] = OverWhite(entry != nullptr ? byte(entry->c3) : 255, alpha);
                } else if (bands <= 2) {
                    out[0] = out[1] = out[2] = OverWhite(in[0], bands == 2 ? in[1] : 255);
                } else {
                    const std::uint8_t alpha = bands == 4 ? in[3] : 255;
                    for (int c = 0; c < 3; ++c) out[c] = OverWhite(in[c], alpha);
                }
            }
            ok = true;
        }
    }
    VSIUnlink(name.c_str());
    return ok;
}

std::string TileRowSource::MissingWarning() const {
    return MissingTilesWarning(missing_, missingAt_);
}

// A tile starts no sooner than burst/rate seconds after the tile burst places before it, so no
// second holds more than the rate however the tiles come in bursts (a row's last few, then the
// next row's first). A rate beyond a thousand a second is kept over a shorter time.
void TileRowSource::WaitForTurn(std::size_t count) {
    if (local_ || rate_ <= 0 || count == 0) return;
    const auto burst = static_cast<std::size_t>(std::clamp(std::floor(rate_), 1.0, 1000.0));
    const std::size_t last = std::min(count, burst) - 1;  // the burst's latest tile waits longest
    if (starts_.size() + last >= burst) Sleep(starts_[starts_.size() + last - burst] + double(burst) / rate_ - Now());
    starts_.insert(starts_.end(), count, Now());
    if (starts_.size() > burst) starts_.erase(starts_.begin(), starts_.end() - std::ptrdiff_t(burst));
}

TileFetcher::TileFetcher(TileFetchOptions options)
    : TileRowSource(options.source.starts_with("file://"), options.rate), options_(std::move(options)) {
    if (!options_.cacheFolder.empty()) cacheSourceFolder_ = options_.cacheFolder + "/" + SourceKey(options_.source);
}

std::string TileFetcher::CachePath(const TileAddress& tile) const {
    if (cacheSourceFolder_.empty()) return {};
    return cacheSourceFolder_ + "/" + TileName(tile);
}

bool IsFreshFile(const std::string& path, double days) {
    std::error_code error;
    if (path.empty()) return false;
    const auto written = fs::last_write_time(path, error);
    if (error) return false;
    const auto age = std::chrono::duration<double>(fs::file_time_type::clock::now() - written).count();
    return age < days * 86400;
}

bool TileFetcher::IsCached(const TileAddress& tile) const {
    return local_ || IsFreshFile(CachePath(tile), options_.cacheDays);
}

// Written under a hidden name and renamed, so an interrupted run never leaves half a tile that
// a rerun would take for whole. A cache that cannot be written costs a refetch, nothing more.
void TileFetcher::Keep(const TileAddress& tile, const std::string& bytes) const {
    const std::string path = CachePath(tile);
    if (path.empty()) return;
    std::error_code error;
    const fs::path folder = fs::path(path).parent_path();
    fs::create_directories(folder, error);
    std::string temporary = (folder / ("." + fs::path(path).filename().string() + ".XXXXXX")).string();
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) return;
    bool written = ::write(descriptor, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    written = ::close(descriptor) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) ::unlink(temporary.c_str());
}

TileRowResult TileFetcher::FetchRow(const std::vector<TileAddress>& tiles, const std::vector<std::string>& urls) {
    TileRowResult result;
    result.tiles.resize(tiles.size());
    std::vector<std::size_t> wanted;  // the tiles the source must be asked for
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        std::string bytes;
        if (local_) {
            const std::string path = urls[i].substr(std::string_view("file://").size());
            // Decided on the one open: a tile that is not there is missing, one that cannot be
            // read is a fault.
            std::error_code error;
            const bool read = ReadWhole(path, bytes, error);
            if (!read && (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)) {
                result.tiles[i].missing = true;
                missing_.push_back(tiles[i]);
            } else if (!read || !DecodeTile(bytes, result.tiles[i])) {
                result.status = Refusal(ImportError::ReadFailed,
                                        "Cannot read tile " + TileName(tiles[i]) + " from " + urls[i] + ": it is no picture");
                return result;
            }
            continue;
        }
        // A cached copy that no longer decodes is fetched again rather than trusted.
        std::error_code error;
        if (!(IsCached(tiles[i]) && ReadWhole(CachePath(tiles[i]), bytes, error) && DecodeTile(bytes, result.tiles[i]))) {
            wanted.push_back(i);
        }
    }

    CPLStringList options;
    options.SetNameValue("USERAGENT", options_.userAgent.c_str());
    options.SetNameValue("TIMEOUT", std::to_string(options_.timeoutSeconds).c_str());
    // The retries are counted here, for every kind of failure alike; GDAL's own would hide them.
    options.SetNameValue("MAX_RETRY", "0");
    fetched_ += static_cast<std::int64_t>(wanted.size());
    const std::size_t chunk = std::max<std::size_t>(1, std::min<std::size_t>(
        32, options_.rate > 0 ? static_cast<std::size_t>(options_.rate) : 32));
    for (int attempt = 0; !wanted.empty(); ++attempt) {
        if (attempt > 0) Sleep(options_.firstRetryWait * std::pow(2.0, attempt - 1));
        std::vector<std::size_t> again;
        std::string firstFailure;  // of this round
        for (std::size_t start = 0; start < wanted.size(); start += chunk) {
            const std::size_t count = std::min(chunk, wanted.size() - start);
            std::vector<const char*> asked;
            for (std::size_t k = 0; k < count; ++k) asked.push_back(urls[wanted[start + k]].c_str());
            WaitForTurn(count);
            CPLErrorReset();
            CPLHTTPResult** answers = CPLHTTPMultiFetch(asked.data(), static_cast<int>(count), options_.connections,
                                                        options.List());
            HttpResults owned;
            for (std::size_t k = 0; k < count; ++k) owned.emplace_back(answers != nullptr ? answers[k] : nullptr);
            CPLFree(answers);
            for (std::size_t k = 0; k < count; ++k) {
                const std::size_t i = wanted[start + k];
                const CPLHTTPResult* answer = owned[k].get();
                const int status = answer != nullptr ? HttpStatusOf(*answer) : 0;
                const std::string where = "Cannot fetch tile " + TileName(tiles[i]) + " from " + urls[i] + ": ";
                if (answer != nullptr && (status == 404 || (answer->nStatus == 0 && answer->nDataLen == 0 &&
                                                             answer->pszErrBuf == nullptr))) {
                    result.tiles[i].missing = true;
                    missing_.push_back(tiles[i]);
                } else if (answer != nullptr && answer->nStatus == 0 && answer->pszErrBuf == nullptr) {
                    const std::string bytes(reinterpret_cast<const char*>(answer->pabyData), answer->nDataLen);
                    if (DecodeTile(bytes, result.tiles[i])) {
                        Keep(tiles[i], bytes);
                    } else if (result.status.error == ImportError::None) {
                        const char* kind = answer->pszContentType != nullptr ? answer->pszContentType : "no type";
                        result.status = Refusal(ImportError::ReadFailed,
                                                where + "HTTP status 200, but the answer is no picture (" + kind + ")");
                    }
                } else {
                    again.push_back(i);
                    if (firstFailure.empty()) firstFailure = where + Failure(answer, status, options_.timeoutSeconds);
                }
            }
            // The rest of the answers are kept first, so a rerun need not ask for them again.
            if (result.status.error != ImportError::None) return result;
        }
        if (!again.empty() && attempt == options_.retries) {
            // The first tile that failed for good is named; the others share its fate.
            result.status = Refusal(ImportError::ReadFailed, firstFailure + ", after " + std::to_string(attempt) +
                                                                 " retries");
            return result;
        }
        wanted = std::move(again);
    }
    return result;
}

}  // namespace kartivo::geoimport
