// A picture GDAL reads, shown at a reduced size. Memory is the reduced picture's, whatever the
// file's size: GDAL is asked for the samples only and decides itself which overview or blocks
// give them.

#include "geoimport/GeoImport.h"

#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"
#include "geoimport/SourceGeoreference.h"
#include "geoimport/ValueScale.h"

#include <cpl_error.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace kartivo::geoimport {

namespace {

// The opened dataset and how its bands are shown.
class GdalPixels final : public ForeignPixels {
public:
    // scaled, when set, is read in place of dataset: its 16-bit colours as bytes.
    GdalPixels(Dataset dataset, Dataset scaled, BandLayout layout, std::vector<FileIdentity> files);
    ReducedPictureResult Read(const PictureRect& rect, std::int32_t step) override;

private:
    void ShowPixels(const std::uint8_t* in, int bandCount, std::vector<std::uint32_t>& pixels) const;

    Dataset source_;   // outlives dataset_, which may read through it
    Dataset dataset_;  // what the pixels are read from
    BandLayout layout_;
    // Nodata values compared as bytes hold only for bytes; clamped values of other types would
    // meet them by chance, so those are left to GDAL's mask, which compares them unconverted.
    bool byNoData_ = false;
    GDALRasterBandH mask_ = nullptr;  // where clear is read from GDAL's mask; owned by the dataset
};

GdalPixels::GdalPixels(Dataset dataset, Dataset scaled, BandLayout layout, std::vector<FileIdentity> files)
    : ForeignPixels(GDALGetRasterXSize(dataset.get()), GDALGetRasterYSize(dataset.get()), std::move(files)),
      source_(std::move(dataset)), dataset_(scaled ? std::move(scaled) : std::move(source_)), layout_(std::move(layout)) {
    GDALDatasetH opened = dataset_.get();
    const bool bytes = std::all_of(layout_.colourBands.begin(), layout_.colourBands.end(), [opened](int band) {
        return GDALGetRasterDataType(GDALGetRasterBand(opened, band)) == GDT_Byte;
    });
    byNoData_ = !layout_.noData.empty() && bytes;
    if (layout_.masked && !byNoData_) mask_ = GDALGetMaskBand(GDALGetRasterBand(opened, 1));
}

// How many samples a side gives at the step: the count a bitmap's reduced read gives, worked
// out here so the module needs none of the core's reading of bitmaps.
std::int32_t Samples(std::int32_t length, std::int32_t step) {
    return length / step + (length % step != 0 ? 1 : 0);
}

bool Within(std::int32_t start, std::int32_t length, std::int32_t size) {
    return start >= 0 && length >= 0 && std::int64_t{start} + length <= size;
}

std::uint32_t Rgb32(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return 0xff000000u | std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
}

// Samples of bandCount bytes each (the layout's colour bands, then alpha where the mask is
// read) as 0xffRRGGBB over white.
void GdalPixels::ShowPixels(const std::uint8_t* in, int bandCount, std::vector<std::uint32_t>& pixels) const {
    const BandLayout& layout = layout_;
    const int colourCount = static_cast<int>(layout.colourBands.size());
    for (std::uint32_t& out : pixels) {
        const std::uint8_t a = byNoData_ ? (ClearByNoData(layout, in) ? 0 : 255) : mask_ ? in[colourCount] : 255;
        std::array<std::uint8_t, 3> rgb{in[0], in[0], in[0]};
        if (layout.kind == ColourKind::Palette) {
            // An index beyond the table shows black, as in a bitmap.
            static constexpr std::array<std::uint8_t, 4> Black{0, 0, 0, 255};
            const auto& e = in[0] < layout.palette.size() ? layout.palette[in[0]] : Black;
            rgb = {OverWhite(e[0], e[3]), OverWhite(e[1], e[3]), OverWhite(e[2], e[3])};
        } else if (colourCount == 3) {
            rgb = {in[2], in[1], in[0]};  // the layout lists blue, green, red, as a bitmap stores them
        }
        out = Rgb32(OverWhite(rgb[0], a), OverWhite(rgb[1], a), OverWhite(rgb[2], a));
        in += bandCount;
    }
}

ReducedPictureResult GdalPixels::Read(const PictureRect& rect, std::int32_t step) {
    ReducedPictureResult result;
    ReducedPicture& picture = result.picture;
    picture.rect = rect;
    picture.step = step;
    if (step < 1 || !Within(rect.left, rect.width, Width()) || !Within(rect.top, rect.height, Height())) {
        result.error = PixelReadError::BadRegion;
        return result;
    }
    picture.width = Samples(rect.width, step);
    picture.height = Samples(rect.height, step);
    if (picture.width == 0 || picture.height == 0) return result;

    const BandLayout& layout = layout_;
    const int colourCount = static_cast<int>(layout.colourBands.size());
    const bool alpha = mask_ != nullptr;
    const int bandCount = colourCount + (alpha ? 1 : 0);
    const std::size_t count = std::size_t(picture.width) * std::size_t(picture.height);
    std::vector<std::uint8_t> samples(count * std::size_t(bandCount));
    std::vector<int> bands = layout.colourBands;

    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_NearestNeighbour;
    const GSpacing line = GSpacing(picture.width) * bandCount;
    CPLErrorReset();
    CPLErr read = GDALDatasetRasterIOEx(dataset_.get(), GF_Read, rect.left, rect.top, rect.width, rect.height,
                                        samples.data(), picture.width, picture.height, GDT_Byte, colourCount,
                                        bands.data(), bandCount, line, 1, &extra);
    if (read == CE_None && alpha) {
        read = GDALRasterIOEx(mask_, GF_Read, rect.left, rect.top, rect.width, rect.height,
                              samples.data() + colourCount, picture.width, picture.height, GDT_Byte, bandCount,
                              line, &extra);
    }
    if (read != CE_None) {
        result.error = PixelReadError::ReadFailed;
        return result;
    }

    picture.pixels.resize(count);
    ShowPixels(samples.data(), bandCount, picture.pixels);
    return result;
}

}  // namespace

std::unique_ptr<ForeignPixels> OpenForeignPixels(const std::string& path) {
    Dataset dataset = OpenRaster(path);
    if (!dataset || GDALGetRasterCount(dataset.get()) < 1) return nullptr;
    std::vector<FileIdentity> files = SourceFiles(dataset.get(), path);
    // 16-bit colours are shown as the import makes them bytes by default.
    ImportStatus status;
    std::optional<BandLayout> imported = ReadBandLayout(dataset.get(), status);
    std::optional<ScaledColours> scaled;
    if (imported && imported->sixteenBit) scaled = ScaleColours(dataset.get(), *imported, {}, status);
    if (scaled) {
        if (std::optional<BandLayout> layout = ReadBandLayout(scaled->dataset.get(), status)) {
            return std::make_unique<GdalPixels>(std::move(dataset), std::move(scaled->dataset), std::move(*layout),
                                                std::move(files));
        }
    }
    BandLayout layout = ReadShownBandLayout(dataset.get());
    return std::make_unique<GdalPixels>(std::move(dataset), Dataset(), std::move(layout), std::move(files));
}

}  // namespace kartivo::geoimport
