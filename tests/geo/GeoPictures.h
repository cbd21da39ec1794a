#pragma once
// Georeferenced test pictures made with GDAL's own API, and GDAL's reading of a result.

#include "TestSupport.h"

#include <gdal.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kartivo::test {

using Pixels = std::vector<std::uint8_t>;  // band after band

struct Source {
    std::string driver = "GTiff";
    std::string crs;                 // written into the file; empty: none
    std::array<double, 6> geoTransform{};
    bool georeferenced = true;
    int width = 40;
    int height = 30;
    int bands = 3;
    GDALDataType type = GDT_Byte;
    bool palette = false;
    bool alpha = false;               // the last band is alpha
    std::vector<std::array<double, 4>> gcps;  // column, row, x, y in crs: control points in place of geoTransform
    std::vector<std::string> rpcs;            // "KEY=VALUE" coefficients of a satellite's RPCs
    // Pixels whose every band holds this value are clear: it is written as each band's nodata
    // value, or with a mask, as one of the picture's own instead: inside the file ("YES") or a
    // .msk beside it ("NO").
    std::optional<int> clear;
    std::string mask;
    // Each band's colour interpretation, from the first; GDAL's default for the rest.
    std::vector<GDALColorInterp> interpretations;
    std::vector<std::string> creationOptions;  // "NBITS=12"
    // The value of band b at column x, row y; by default varied enough that a pixel taken
    // from the wrong place shows.
    std::function<std::uint16_t(int b, int x, int y)> value = [](int b, int x, int y) {
        return static_cast<std::uint8_t>((x * 37 + y * 101 + b * 71 + x * y) & 0xFF);
    };
    // In place of value, for a band of elevations: its value at column x, row y, and its unit.
    std::function<double(int x, int y)> elevation;
    std::string unit;
};

// Writes the picture with GDAL: a GeoTIFF, or a PNG through a GeoTIFF in memory.
void MakePicture(const Source& spec, const std::string& path);

// A world file and, when crs is given, a .prj beside a picture made without a georeference.
void AddWorldFile(const std::string& picture, const std::string& worldExtension, const std::array<double, 6>& g,
                  const std::string& crs);

// A netCDF of 40 x 30 pixels over Tokyo, written through GDAL's multidimensional API: two byte
// variables ("red", "green") on 1-D latitude and longitude axes, which GDAL lists as subdatasets;
// or, with geolocation, one ("Band1") placed by 2-D latitude and longitude arrays, skewed so that
// no geotransform could place it.
void MakeNetcdf(const std::string& path, bool geolocation);

struct Decoded {
    int width = 0;
    int height = 0;
    int bands = 0;
    Pixels pixels;  // band after band, top row first
    std::vector<std::array<short, 3>> palette;
};

Decoded Decode(GDALDatasetH ds, int firstBand = 1, int bandCount = 0);
Decoded DecodeFile(const std::string& path);

// Web map tiles, 256 x 256 PNG pixels each, at the template's path in folder, coloured by
// TileValue; Rgba's alpha, TileAlpha, takes every value from clear to opaque.
enum class TileKind { Rgb, Rgba, Palette, Grey };
inline std::uint8_t TileAlpha(int x, int y) { return static_cast<std::uint8_t>(x ^ y); }
void MakeTile(const std::string& folder, const TileAddress& t, TileKind kind = TileKind::Rgb,
              const std::string& pattern = "{z}/{x}/{y}.png");

}  // namespace kartivo::test
