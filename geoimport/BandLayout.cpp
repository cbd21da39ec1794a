#include "geoimport/BandLayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kartivo::geoimport {

namespace {

// Bytes, or 16-bit colours people hold (48-bit scans, satellite composites), which are scaled
// to bytes. Signed and wider values are elevations or measurements, not colours.
bool ColourTypes(GDALDatasetH dataset, BandLayout& layout, ImportStatus& status) {
    std::vector<int> bands = layout.colourBands;
    if (layout.alphaBand != 0) bands.push_back(layout.alphaBand);
    std::sort(bands.begin(), bands.end());  // the message names the first band in the file's order
    for (const int band : bands) {
        const GDALDataType type = GDALGetRasterDataType(GDALGetRasterBand(dataset, band));
        if (type == GDT_UInt16 && layout.kind != ColourKind::Palette) {
            layout.sixteenBit = true;
        } else if (type != GDT_Byte) {
            status = Refusal(ImportError::NotColours,
                             "band " + std::to_string(band) + " holds " + GDALGetDataTypeName(type) +
                                 " values (elevation or measurements, not a picture's colours); only 8-bit or "
                                 "unsigned 16-bit colour and grey, and 8-bit paletted pictures can be imported");
            return false;
        }
    }
    return true;
}

// The bands declared red, green and blue, whatever else follows them (near infrared, undefined),
// and the first declared alpha; nothing unless all three colours are declared, once each.
std::optional<BandLayout> DeclaredColours(GDALDatasetH dataset) {
    std::array<int, 3> rgb{0, 0, 0};
    int alpha = 0;
    for (int band = 1; band <= GDALGetRasterCount(dataset); ++band) {
        const GDALColorInterp interpretation = GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset, band));
        if (interpretation >= GCI_RedBand && interpretation <= GCI_BlueBand) {
            int& colour = rgb[std::size_t(interpretation - GCI_RedBand)];
            if (colour != 0) return std::nullopt;
            colour = band;
        } else if (interpretation == GCI_AlphaBand && alpha == 0) {
            alpha = band;
        }
    }
    if (std::find(rgb.begin(), rgb.end(), 0) != rgb.end()) return std::nullopt;
    BandLayout layout;
    layout.colourBands = {rgb[2], rgb[1], rgb[0]};
    layout.alphaBand = alpha;
    for (int band = 1; band <= GDALGetRasterCount(dataset); ++band) {
        if (std::find(rgb.begin(), rgb.end(), band) == rgb.end() && band != alpha) layout.leftOut.push_back(band);
    }
    return layout;
}

std::optional<BandLayout> ReadColours(GDALDatasetH dataset, ImportStatus& status) {
    const int count = GDALGetRasterCount(dataset);
    const auto interpretation = [&](int band) {
        return GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset, band));
    };
    BandLayout layout;
    if (count >= 1 && count <= 2) {
        layout.colourBands = {1};
        GDALColorTableH table = GDALGetRasterColorTable(GDALGetRasterBand(dataset, 1));
        if (table != nullptr && GDALGetPaletteInterpretation(table) == GPI_RGB) {
            layout.kind = ColourKind::Palette;
            for (int i = 0; i < std::min(GDALGetColorEntryCount(table), 256); ++i) {
                const GDALColorEntry* entry = GDALGetColorEntry(table, i);
                layout.palette.push_back({static_cast<std::uint8_t>(entry->c1), static_cast<std::uint8_t>(entry->c2),
                                          static_cast<std::uint8_t>(entry->c3),
                                          static_cast<std::uint8_t>(entry->c4)});
            }
        } else {
            layout.kind = ColourKind::Grey;
        }
        if (count == 2) {
            if (interpretation(2) != GCI_AlphaBand || layout.kind == ColourKind::Palette) {
                status = Refusal(ImportError::NotColours, "its two bands are not grey and alpha");
                return std::nullopt;
            }
            layout.alphaBand = 2;
        }
        return layout;
    }
    if (std::optional<BandLayout> declared = DeclaredColours(dataset)) return declared;
    if (count == 3 || (count == 4 && interpretation(4) == GCI_AlphaBand)) {
        layout.colourBands = {3, 2, 1};
        layout.alphaBand = count == 4 ? 4 : 0;
        return layout;
    }
    status = Refusal(ImportError::NotColours, "its " + std::to_string(count) +
                                                  " bands are not red, green and blue (and alpha), grey or "
                                                  "palette indexes");
    return std::nullopt;
}

// Where the source is clear, as GDAL reads it: a mask of its own first, then nodata values,
// then an alpha band. Nodata counts, as in GDAL's warper, only where every band holds its
// value: a scene's black border is clear, a pixel dark in one colour is not.
void ReadMask(GDALDatasetH dataset, BandLayout& layout) {
    const int flags = GDALGetMaskFlags(GDALGetRasterBand(dataset, 1));
    if ((flags & GMF_ALL_VALID) != 0) return;
    if ((flags & GMF_NODATA) != 0) {
        for (const int band : layout.colourBands) {
            int has = FALSE;
            const double value = GDALGetRasterNoDataValue(GDALGetRasterBand(dataset, band), &has);
            if (has == FALSE) {
                layout.noData.clear();
                // A band without one keeps every pixel; a list for the whole picture without
                // each band's value is left to GDAL's mask.
                if ((flags & GMF_PER_DATASET) == 0) return;
                break;
            }
            layout.noData.push_back(value);
        }
    }
    // A palette's nodata entry never shows its own colour: made white, its pixels show white
    // as they are, copied or warped by nearest neighbour, and the table needs no other white.
    if (layout.kind == ColourKind::Palette && layout.noData.size() == 1 && layout.noData[0] >= 0 &&
        layout.noData[0] < double(layout.palette.size()) && std::floor(layout.noData[0]) == layout.noData[0]) {
        layout.palette[std::size_t(layout.noData[0])] = {255, 255, 255, 255};
        layout.noData.clear();
        return;
    }
    layout.masked = true;
    layout.paletteToRgb = layout.kind == ColourKind::Palette && !WhiteEntry(layout);
}

}  // namespace

std::optional<BandLayout> ReadBandLayout(GDALDatasetH dataset, ImportStatus& status) {
    std::optional<BandLayout> layout = ReadColours(dataset, status);
    if (!layout || !ColourTypes(dataset, *layout, status)) return std::nullopt;
    ReadMask(dataset, *layout);
    return layout;
}

std::vector<std::string> LeftOutTexts(GDALDatasetH dataset, const BandLayout& layout) {
    std::vector<std::string> texts;
    for (const int band : layout.leftOut) {
        std::string name = GDALGetColorInterpretationName(
            GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset, band)));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        texts.push_back("band " + std::to_string(band) + " (" + name + ")");
    }
    return texts;
}

BandLayout ReadShownBandLayout(GDALDatasetH dataset) {
    ImportStatus refused;
    std::optional<BandLayout> layout = ReadColours(dataset, refused);
    if (!layout) {
        // Bands the import refuses are still worth a look before the user learns why.
        layout.emplace();
        const bool rgb = GDALGetRasterCount(dataset) >= 3;
        layout->kind = rgb ? ColourKind::Rgb : ColourKind::Grey;
        layout->colourBands = rgb ? std::vector<int>{3, 2, 1} : std::vector<int>{1};
    }
    ReadMask(dataset, *layout);
    return *layout;
}

bool ClearByNoData(const BandLayout& layout, const std::uint8_t* colours) {
    for (std::size_t c = 0; c < layout.noData.size(); ++c) {
        if (colours[c] != layout.noData[c]) return false;
    }
    return true;
}

std::uint8_t OverWhite(std::uint8_t colour, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Where a warped or masked paletted picture shows white: an entry that is white already, else
// one added in a free place of the table. Nothing when a full table holds no white: then the
// picture is written as 24-bit colours, each pixel its entry's, rather than give up an entry
// some pixels may use (which only reading every pixel would tell) or show the unreached or
// clear area in a colour of the picture's own.
std::optional<std::size_t> WhiteEntry(const BandLayout& layout) {
    for (std::size_t i = 0; i < layout.palette.size(); ++i) {
        const auto& e = layout.palette[i];
        if (OverWhite(e[0], e[3]) == 255 && OverWhite(e[1], e[3]) == 255 && OverWhite(e[2], e[3]) == 255) return i;
    }
    if (layout.palette.size() < 256) return layout.palette.size();
    return std::nullopt;
}

// The bitmap's colour table, blue, green, red, 0 per entry; for a palette written as 24-bit,
// the colours each index becomes.
std::vector<std::uint8_t> ColourTable(BandLayout& layout, bool warped, std::uint8_t& fillIndex) {
    std::vector<std::uint8_t> table;
    if (layout.kind == ColourKind::Grey) {
        for (int i = 0; i < 256; ++i) table.insert(table.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
        return table;
    }
    if (layout.kind != ColourKind::Palette) return table;
    if (NeedsWhite(layout, warped) && !layout.paletteToRgb) {
        const std::size_t white = *WhiteEntry(layout);
        fillIndex = static_cast<std::uint8_t>(white);
        if (white == layout.palette.size()) layout.palette.push_back({255, 255, 255, 255});
    }
    for (const auto& e : layout.palette) {
        table.insert(table.end(), {OverWhite(e[2], e[3]), OverWhite(e[1], e[3]), OverWhite(e[0], e[3]), 0});
    }
    return table;
}

bool NeedsWhite(const BandLayout& layout, bool warped) {
    return warped || layout.masked;
}

std::int16_t BitCount(const BandLayout& layout) {
    return layout.kind == ColourKind::Rgb || layout.paletteToRgb ? 24 : 8;
}

void CompositeRow(const BandLayout& layout, ClearFrom clearFrom, const PaletteFill& fill, const std::uint8_t* in,
                  std::int32_t width, std::uint8_t* out) {
    static constexpr std::array<std::uint8_t, 3> White{255, 255, 255};
    const int colourCount = static_cast<int>(layout.colourBands.size());
    const int inBytes = colourCount + 1;
    const int outBytes = BitCount(layout) / 8;
    const bool byNoData = clearFrom == ClearFrom::NoData;
    for (std::int32_t x = 0; x < width; ++x, in += inBytes, out += outBytes) {
        const std::uint8_t a = byNoData ? (ClearByNoData(layout, in) ? 0 : 255) : in[colourCount];
        if (layout.paletteToRgb) {
            const std::uint8_t* colour = a == 0 ? White.data() : &fill.colours[std::size_t(in[0]) * 4];
            std::copy(colour, colour + 3, out);
        } else if (layout.kind == ColourKind::Palette) {
            out[0] = a == 0 ? fill.fillIndex : in[0];
        } else if (a == 255) {
            std::copy(in, in + colourCount, out);
        } else {
            for (int c = 0; c < colourCount; ++c) out[c] = OverWhite(in[c], a);
        }
    }
}

}  // namespace kartivo::geoimport
