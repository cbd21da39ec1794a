#include "GeoPictures.h"

#include <ogr_spatialref.h>
#include <cpl_conv.h>
#include <cpl_string.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kartivo::test {

// Pictures in formats that cannot be created directly (PNG) go through a GeoTIFF in memory.
void MakePicture(const Source& spec, const std::string& path) {
    GDALAllRegister();
    GDALDriverH mem = GDALGetDriverByName("MEM");
    GDALDatasetH ds = GDALCreate(mem, "", spec.width, spec.height, spec.bands, spec.type, nullptr);
    for (int b = 1; b <= spec.bands; ++b) {
        std::vector<double> values(std::size_t(spec.width) * spec.height);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int x = int(i % spec.width);
            const int y = int(i / spec.width);
            values[i] = spec.elevation ? spec.elevation(x, y) : spec.value(b, x, y);
        }
        GDALRasterBandH band = GDALGetRasterBand(ds, b);
        ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, spec.width, spec.height, values.data(), spec.width,
                               spec.height, GDT_Float64, 0, 0),
                  CE_None);
        GDALSetRasterUnitType(band, spec.unit.c_str());
        if (spec.alpha && b == spec.bands) GDALSetRasterColorInterpretation(band, GCI_AlphaBand);
        if (std::size_t(b) <= spec.interpretations.size()) GDALSetRasterColorInterpretation(band, spec.interpretations[b - 1]);
        if (spec.clear && spec.mask.empty()) GDALSetRasterNoDataValue(band, *spec.clear);
    }
    if (spec.clear && !spec.mask.empty()) {
        Pixels mask(std::size_t(spec.width) * spec.height, 0);
        for (std::size_t i = 0; i < mask.size(); ++i) {
            for (int b = 1; b <= spec.bands; ++b) {
                if (spec.value(b, int(i % spec.width), int(i / spec.width)) != *spec.clear) mask[i] = 255;
            }
        }
        ASSERT_EQ(GDALCreateDatasetMaskBand(ds, GMF_PER_DATASET), CE_None);
        ASSERT_EQ(GDALRasterIO(GDALGetMaskBand(GDALGetRasterBand(ds, 1)), GF_Write, 0, 0, spec.width, spec.height,
                               mask.data(), spec.width, spec.height, GDT_Byte, 0, 0),
                  CE_None);
    }
    if (spec.palette) {
        GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
        for (short i = 0; i < 256; ++i) {
            const GDALColorEntry entry{short(255 - i), short(i / 2), short((i * 7) & 0xFF), 255};
            GDALSetColorEntry(table, i, &entry);
        }
        GDALSetRasterColorTable(GDALGetRasterBand(ds, 1), table);
        GDALDestroyColorTable(table);
    }
    OGRSpatialReference crs;
    if (!spec.crs.empty()) crs.SetFromUserInput(spec.crs.c_str());
    if (!spec.gcps.empty()) {
        std::vector<GDAL_GCP> gcps(spec.gcps.size());
        GDALInitGCPs(int(gcps.size()), gcps.data());
        for (std::size_t i = 0; i < gcps.size(); ++i) {
            const auto [column, row, x, y] = spec.gcps[i];
            gcps[i].dfGCPPixel = column;
            gcps[i].dfGCPLine = row;
            gcps[i].dfGCPX = x;
            gcps[i].dfGCPY = y;
        }
        GDALSetGCPs2(ds, int(gcps.size()), gcps.data(), spec.crs.empty() ? nullptr : OGRSpatialReference::ToHandle(&crs));
        GDALDeinitGCPs(int(gcps.size()), gcps.data());
    } else {
        if (spec.georeferenced && spec.rpcs.empty()) GDALSetGeoTransform(ds, const_cast<double*>(spec.geoTransform.data()));
        if (!spec.crs.empty()) GDALSetSpatialRef(ds, OGRSpatialReference::ToHandle(&crs));
    }
    if (!spec.rpcs.empty()) {
        CPLStringList rpcs;
        for (const std::string& rpc : spec.rpcs) rpcs.AddString(rpc.c_str());
        GDALSetMetadata(ds, rpcs.List(), "RPC");
    }
    CPLSetThreadLocalConfigOption("GDAL_TIFF_INTERNAL_MASK", spec.mask.empty() ? nullptr : spec.mask.c_str());
    CPLStringList creation;
    for (const std::string& option : spec.creationOptions) creation.AddString(option.c_str());
    GDALDatasetH out = GDALCreateCopy(GDALGetDriverByName(spec.driver.c_str()), path.c_str(), ds, FALSE,
                                      creation.List(), nullptr, nullptr);
    CPLSetThreadLocalConfigOption("GDAL_TIFF_INTERNAL_MASK", nullptr);
    ASSERT_NE(out, nullptr) << CPLGetLastErrorMsg();
    GDALClose(out);
    GDALClose(ds);
}

void MakeNetcdf(const std::string& path, bool geolocation) {
    GDALAllRegister();
    constexpr int W = 40;
    constexpr int H = 30;
    GDALDatasetH ds = GDALCreateMultiDimensional(GDALGetDriverByName("netCDF"), path.c_str(), nullptr, nullptr);
    ASSERT_NE(ds, nullptr) << CPLGetLastErrorMsg();
    GDALGroupH root = GDALDatasetGetRootGroup(ds);
    GDALExtendedDataTypeH text = GDALExtendedDataTypeCreateString(0);
    GDALExtendedDataTypeH number = GDALExtendedDataTypeCreate(GDT_Float64);
    GDALExtendedDataTypeH byte = GDALExtendedDataTypeCreate(GDT_Byte);
    const auto write = [](GDALMDArrayH array, std::vector<GDALDimensionH> dims, GDALExtendedDataTypeH type,
                          const void* values) {
        std::vector<GUInt64> start(dims.size(), 0);
        std::vector<size_t> count;
        for (GDALDimensionH d : dims) count.push_back(size_t(GDALDimensionGetSize(d)));
        EXPECT_TRUE(GDALMDArrayWrite(array, start.data(), count.data(), nullptr, nullptr, type, values, nullptr, 0));
    };
    const auto attribute = [text](GDALMDArrayH array, const char* name, const char* value) {
        GDALAttributeH a = GDALMDArrayCreateAttribute(array, name, 0, nullptr, text, nullptr);
        GDALAttributeWriteString(a, value);
        GDALAttributeRelease(a);
    };
    // Names CF readers know as latitude and longitude axes for the plain file; neutral ones for
    // the swath, whose axes are rows and columns.
    GDALDimensionH rows = GDALGroupCreateDimension(root, geolocation ? "row" : "lat", nullptr, nullptr, H, nullptr);
    GDALDimensionH columns =
        GDALGroupCreateDimension(root, geolocation ? "column" : "lon", nullptr, nullptr, W, nullptr);
    std::vector<GDALDimensionH> plane{rows, columns};
    for (const bool isLatitude : {true, false}) {
        std::vector<GDALDimensionH> dims =
            geolocation ? plane : std::vector<GDALDimensionH>{isLatitude ? rows : columns};
        GDALMDArrayH axis = GDALGroupCreateMDArray(root, isLatitude ? "lat" : "lon", dims.size(), dims.data(), number,
                                                   nullptr);
        GDALMDArraySetUnit(axis, isLatitude ? "degrees_north" : "degrees_east");
        attribute(axis, "standard_name", isLatitude ? "latitude" : "longitude");
        std::vector<double> values;
        for (int r = 0; r < (geolocation || isLatitude ? H : 1); ++r) {
            for (int c = 0; c < (geolocation || !isLatitude ? W : 1); ++c) {
                values.push_back(isLatitude ? 35.8 - r * 0.01 + (geolocation ? c * 0.002 : 0)
                                            : 139.6 + c * 0.0075 + (geolocation ? r * 0.003 : 0));
            }
        }
        write(axis, dims, number, values.data());
        GDALMDArrayRelease(axis);
    }
    const std::vector<const char*> variables =
        geolocation ? std::vector<const char*>{"Band1"} : std::vector<const char*>{"red", "green"};
    for (const char* name : variables) {
        GDALMDArrayH variable = GDALGroupCreateMDArray(root, name, 2, plane.data(), byte, nullptr);
        if (geolocation) {
            attribute(variable, "coordinates", "lat lon");
        } else {
            OGRSpatialReference wgs84;
            wgs84.importFromEPSG(4326);
            EXPECT_TRUE(GDALMDArraySetSpatialRef(variable, OGRSpatialReference::ToHandle(&wgs84)));
        }
        Pixels values(std::size_t(W) * H);
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = Source().value(name[0], int(i % W), int(i / W));
        write(variable, plane, byte, values.data());
        GDALMDArrayRelease(variable);
    }
    for (GDALExtendedDataTypeH type : {text, number, byte}) GDALExtendedDataTypeRelease(type);
    GDALDimensionRelease(rows);
    GDALDimensionRelease(columns);
    GDALGroupRelease(root);
    GDALClose(ds);
}

// A world file and, when crs is given, a .prj beside a picture made without a georeference.
void AddWorldFile(const std::string& picture, const std::string& worldExtension, const std::array<double, 6>& g,
                  const std::string& crs) {
    std::ofstream world(std::filesystem::path(picture).replace_extension(worldExtension));
    world.precision(17);
    // A world file names the centre of the top-left pixel.
    world << g[1] << '\n' << g[4] << '\n' << g[2] << '\n' << g[5] << '\n'
          << g[0] + g[1] / 2 + g[2] / 2 << '\n' << g[3] + g[4] / 2 + g[5] / 2 << '\n';
    if (crs.empty()) return;
    OGRSpatialReference srs;
    srs.SetFromUserInput(crs.c_str());
    srs.morphToESRI();
    char* wkt = nullptr;
    srs.exportToWkt(&wkt);
    std::ofstream(std::filesystem::path(picture).replace_extension(".prj")) << wkt;
    CPLFree(wkt);
}

Decoded Decode(GDALDatasetH ds, int firstBand, int bandCount) {
    Decoded d;
    d.width = GDALGetRasterXSize(ds);
    d.height = GDALGetRasterYSize(ds);
    d.bands = bandCount > 0 ? bandCount : GDALGetRasterCount(ds);
    d.pixels.resize(std::size_t(d.width) * d.height * d.bands);
    for (int b = 0; b < d.bands; ++b) {
        EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, firstBand + b), GF_Read, 0, 0, d.width, d.height,
                               d.pixels.data() + std::size_t(b) * d.width * d.height, d.width, d.height, GDT_Byte,
                               0, 0),
                  CE_None);
    }
    if (GDALColorTableH table = GDALGetRasterColorTable(GDALGetRasterBand(ds, 1))) {
        for (int i = 0; i < GDALGetColorEntryCount(table); ++i) {
            const GDALColorEntry* e = GDALGetColorEntry(table, i);
            d.palette.push_back({e->c1, e->c2, e->c3});
        }
    }
    return d;
}

Decoded DecodeFile(const std::string& path) {
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    EXPECT_NE(ds, nullptr) << path;
    if (ds == nullptr) return {};
    Decoded d = Decode(ds);
    GDALClose(ds);
    return d;
}


void MakeTile(const std::string& folder, const TileAddress& t, TileKind kind, const std::string& pattern) {
    const std::string path = folder + "/" + FillTileTemplate(pattern, t);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    Source spec{.driver = "PNG", .georeferenced = false, .width = 256, .height = 256,
                .bands = kind == TileKind::Rgb ? 3 : kind == TileKind::Rgba ? 4 : 1, .palette = kind == TileKind::Palette};
    // Bands count from 1.
    spec.value = [t](int b, int x, int y) { return b == 4 ? TileAlpha(x, y) : TileValue(t, b - 1, x, y); };
    MakePicture(spec, path);
}

}  // namespace kartivo::test
