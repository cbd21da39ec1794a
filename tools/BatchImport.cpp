#include "tools/BatchShared.h"

#include "common/NumberText.h"
#include "common/PathParts.h"

#include "geoimport/Importer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <vector>

namespace kartivo::batch {

namespace {

// A name given with -o gets the corners too: a bitmap without them would load as a map of
// nowhere. Its parentheses would end the map name early when read back.
std::string WithCorners(const std::string& output, const geoimport::ImportPlan& plan) {
    const std::size_t nameStart = output.find_last_of('/') + 1;  // 0 when there is no folder
    std::string name = output.substr(nameStart, output.size() - nameStart - 4);
    std::replace(name.begin(), name.end(), '(', '[');
    std::replace(name.begin(), name.end(), ')', ']');
    // The part (_west, _east) stays with the corners: each part has a name of its own.
    return output.substr(0, nameStart) + name + plan.fileName.substr(plan.mapName.size());
}

bool EndsInBmp(const std::string& path) {
    const std::size_t nameStart = path.find_last_of('/') + 1;
    if (path.size() < nameStart + 5) return false;  // a name before the extension
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".bmp";
}

constexpr const char* ImportHelp = R"(Usage: kartivo-batch import [OPTIONS] PICTURE...

Turns each georeferenced picture into a bitmap whose rows are spaced as in Web Mercator,
named Name(bottom,left,top,right).bmp after the picture, beside it: loading that bitmap
or running "make" on it fills in the name and the corners by itself. The corners are the
WGS 84 latitudes and longitudes of the centres of the corner pixels, to ten decimals.
A map's corners cannot cross the 180th meridian, so a picture that does is split there
into two bitmaps, Name_west(...).bmp ending at 180 degrees and Name_east(...).bmp
starting at -180, each as wide as its own part needs.

A picture in Web Mercator (EPSG:3857) is copied pixel for pixel; any other is warped to it.
Colour pictures become 24-bit, grey and paletted ones 8-bit with their colour table. An
alpha band is laid over white, as is any part of the bitmap the picture does not reach; a
warped paletted picture whose table is full without white becomes 24-bit for that.
Bands declared red, green and blue are the colours whatever bands follow them (near
infrared, undefined); the bands left out are named. 16-bit colours become bytes as
gdal_translate -ot Byte -scale makes them: the whole range (value * 255 / 65535, rounded),
or, where the values use only part of it (NBITS below 16, or all under 4096), each band
stretched between the 2nd and 98th percentile of its values; --scale chooses. Signed,
32-bit and floating-point values (elevation, not colours) are refused unless --relief is
given. Latitudes beyond 85.0511 degrees, where Web Mercator ends, are cut off.
A picture placed by geolocation arrays (a netCDF's latitudes and longitudes) is warped as
gdalwarp -geoloc places it. A file of several pictures (netCDF, HDF5 subdatasets) is refused
with their names and the command importing each, e.g. kartivo-batch import 'NETCDF:"a.nc":Band1'.

Options:
  --srs CRS         the picture's coordinate system when it names none (a world file
                    without .prj) or a wrong one, e.g. EPSG:4326 or EPSG:32654
  --resampling near|bilinear|cubic
                    how warped pixels are found; default near (nearest neighbour)
  --relief [grey|color]
                    a single band of elevations (Int16, Int32, Float32 or Float64; UInt16
                    in metres or feet, or any UInt16 with this option) becomes shaded
                    relief: GDAL's hillshade (azimuth 315, altitude 45) of the elevations
                    warped to the bitmap's grid, equal to gdalwarp and gdaldem hillshade
                    there, 8-bit grey; with color, laid over colours by height from green
                    through brown to white between the band's lowest and highest values,
                    24-bit. Nodata, and the grid's outermost pixels, are white
  --scale full|stretch|MIN,MAX
                    how 16-bit colours become bytes: the whole range, each band's 2nd to
                    98th percentile, or MIN..MAX for every band; default as said above
  --box BOTTOM,LEFT,TOP,RIGHT
                    keeps only this area (degrees or DMS as --corners takes them; a
                    RIGHT west of LEFT crosses 180 degrees): the bitmap is cropped to
                    the box widened outward to its own whole pixels, each pixel the one
                    the whole picture's import writes, and named by its corner pixels'
                    centres; a box that misses the picture is refused naming both
  -o, --output NAME.bmp
                    with one picture only: writes NAME(bottom,left,top,right).bmp, the
                    corners added as to a name of its own (with ( and ) made [ and ]);
                    a picture split at 180 degrees: NAME_west(...).bmp and NAME_east(...).bmp

Control points place a scanned picture (and replace any georeference it carries):
  --gcp COL,ROW,LAT,LON
                    one point, repeated for each: COL and ROW in pixels, 0,0 the top-left
                    corner of the top-left pixel (its centre 0.5,0.5); LAT and LON in
                    degrees (or degrees, minutes and seconds) of WGS 84. With --gcp-srs
                    they are the system's northing (or latitude) and easting, as numbers
  --points FILE     the points of a .points file as GIS georeferencers write it; its
                    "#CRS:" line names their system, else --gcp-srs or WGS 84
  --gcp-srs CRS     the system of the points' map coordinates, e.g. EPSG:32654
  --transform poly1|poly2|poly3|tps
                    a polynomial of order 1 (at least 3 points), 2 (6) or 3 (10), or a
                    thin plate spline (3), as gdalwarp -order N or -tps; default poly1
A set holds at most 10000 points (tps: 1000), a .points file at most 16 MiB; a set whose
enabled points all lie outside the picture is refused, and points outside it are named.
Before the bitmap's path, a line per point tells how far the fitted transform puts it:
  point N: dx DX dy DY pixels P metres M
(DX and DY in pixels, right and down; a point the file disables shows as
point N (disabled): ...)
and then "rms R pixels over K points" over the enabled ones.

A tile source instead of pictures: --tiles SOURCE --zoom Z --box BOTTOM,LEFT,TOP,RIGHT
(and the rest, as "kartivo-batch info" reads them) fetches the tiles of the area, a row of
tiles at a time, and writes Tiles_zZ(bottom,left,top,right).bmp in the working folder (or
as -o names it), each pixel one pixel of a tile. SOURCE is a URL template, http://, https://
or file:// with {z}, {x}, {y}, {-y} (rows from the bottom) or {q} (quadkey); or a GDAL_WMS
or GDAL_WMTS XML, WMTS:URL or an MBTiles file, read through GDAL from its level that is
zoom Z of the tile grid (a source off the grid, or without that level, is refused; no
level is resampled from another, and an XML's offline mode is not followed). Every request says
--user-agent (default Kartivo/VERSION); at most 2 at once, and at most --rate new tiles
a second from a server (default 4). Tiles are kept 7 days in $XDG_CACHE_HOME/kartivo/tiles
(else ~/.cache/kartivo/tiles), so a rerun after a failure or Ctrl+C fetches only the
rest. More than --max-tiles (default 2500) tiles not yet cached is refused. A tile the
server lacks (404, 204) is white and named in a warning; a server error or a timeout (30 s)
is asked again 3 times, waiting longer each time, and then fails the import naming the
tile, its URL and the HTTP status, as does an answer that is no picture.
Beside each bitmap, Name(...).txt keeps the source, --attribution TEXT (the credit the
service's terms ask for; without it, the source's own where it gives one, as an MBTiles
package's metadata does), the zoom, the box as given and as widened, and the time of the
fetch (UTC); it is written and replaced with the bitmap, and keeps its map's origin known
even without --attribution. After each bitmap's path, the attribution is printed.

An output never replaces any of the pictures given, nor a file read with one (its world
file, .prj, .aux.xml or mask); an existing output is written over. The path of each
bitmap written is printed on standard output, the west part of a split picture first.
)";

// Each point's residual and the RMS, in the form the help gives.
void WriteResiduals(std::ostream& out, const std::vector<ControlPoint>& points, const geoimport::PointsFit& fit) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        out << "point " << i + 1 << (points[i].enabled ? "" : " (disabled)") << ": " << ResidualText(fit.residuals[i])
            << '\n';
    }
    out << "rms " << FixedTextWithoutMinusZero(fit.rmsPixels, 3) << " pixels over " << EnabledCount(points)
        << " points\n";
}

bool ImportOne(const std::string& picturePath, const geoimport::ImportOptions& options,
               const std::optional<std::string>& output, const std::vector<FileIdentity>& alsoRead,
               std::size_t index, std::size_t total, Session& session) {
    Reporter& reporter = session.reporter;
    const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(picturePath, options);
    if (!prepared.job) {
        std::string listed;
        for (const geoimport::Subdataset& one : prepared.subdatasets) {
            listed += "\n  " + one.name + "  " + one.description + "\n    " + ImportCommandFor(one.name);
        }
        reporter.Error(picturePath, "cannot import: " + prepared.status.message + listed);
        return false;
    }
    if (!options.points.empty()) {
        WriteResiduals(session.console.out, options.points, prepared.fit);
        if (!prepared.fit.outside.text.empty()) reporter.Error(picturePath, prepared.fit.outside.text);
    }
    const std::vector<geoimport::ImportPlan>& parts = prepared.job->Parts();
    std::vector<std::string> outputPaths;
    for (const geoimport::ImportPlan& plan : parts) {
        outputPaths.push_back(output ? WithCorners(*output, plan) : plan.proposedPath);
    }
    int shownPercent = -1;
    const auto progress = [&](double fraction) {
        const int percent = static_cast<int>(fraction * 100);
        if (percent != shownPercent) {
            reporter.Progress(index, total, GetFileName(picturePath) + " " + std::to_string(percent) + "%");
            shownPercent = percent;
        }
        return true;
    };
    const geoimport::ImportStatus written = prepared.job->Write(outputPaths, progress, alsoRead);
    if (written.error != geoimport::ImportError::None) {
        reporter.Error(picturePath, written.message);
        return false;
    }
    if (const std::string notes = geoimport::ImportNotes(parts, outputPaths); !notes.empty()) reporter.Error(picturePath, notes);
    reporter.EndProgress();
    for (const std::string& outputPath : outputPaths) session.console.out << outputPath << '\n';
    return true;
}

// Progress tells the tiles done of all and their rate, cached ones included, as they arrive a
// row at a time.
bool ImportTiles(const TileRequest& request, const std::optional<std::string>& output, Session& session) {
    Reporter& reporter = session.reporter;
    const geoimport::ImportPreparation prepared = geoimport::TheImporter().PrepareTiles(request);
    if (!prepared.job) {
        reporter.Error(request.source, "cannot import: " + prepared.status.message);
        return false;
    }
    const std::vector<geoimport::ImportPlan>& parts = prepared.job->Parts();
    std::vector<std::string> outputPaths;
    std::int64_t tiles = 0;
    for (const geoimport::ImportPlan& plan : parts) {
        outputPaths.push_back(output ? WithCorners(*output, plan) : plan.proposedPath);
        tiles += plan.tiles;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto progress = [&](double fraction) {
        const auto done = static_cast<std::int64_t>(std::llround(fraction * double(tiles)));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string rate = seconds > 0 ? ", " + std::to_string(std::llround(double(done) / seconds)) + " tiles/s" : "";
        reporter.Progress(1, 1, "tiles " + std::to_string(done) + " of " + std::to_string(tiles) + rate);
        return true;
    };
    const geoimport::ImportStatus written = prepared.job->Write(outputPaths, progress);
    reporter.EndProgress();
    if (written.error != geoimport::ImportError::None) {
        reporter.Error(request.source, written.message);
        return false;
    }
    if (const std::string warning = prepared.job->Warning(); !warning.empty()) reporter.Error(request.source, warning);
    if (const std::string notes = geoimport::ImportNotes(parts, outputPaths); !notes.empty()) {
        reporter.Error(request.source, notes);
    }
    // The credit goes where the person looks; the note beside each picture keeps it with the map.
    const std::string attribution = prepared.job->Attribution();
    const std::string credit = attribution.empty() ? "no attribution given (--attribution TEXT)"
                                                   : "attribution: " + attribution;
    for (const std::string& outputPath : outputPaths) session.console.out << outputPath << '\n' << credit << '\n';
    return true;
}

std::optional<double> ReadNumber(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// What the command line says of control points. A text that is no point at all is a usage
// error; a coordinate the corner boxes would refuse is the picture's failure, as a corner is.
struct PointsOption {
    std::vector<ControlPoint> points;
    std::string crsWkt;
    std::optional<FileIdentity> file;  // the --points file, which no output may replace
    std::string usage;    // the command line is refused
    std::string refused;  // the import is refused
};

PointsOption ReadPointsOptions(const CommandLine& line) {
    PointsOption read;
    const auto gcps = line.repeated.find("--gcp");
    const std::optional<std::string> pointsPath = line.Value("--points");
    const std::optional<std::string> gcpCrs = line.Value("--gcp-srs");
    // What a person types is read once, here, into the WKT the import takes.
    if (gcpCrs) {
        const geoimport::PointsSystem system =
            geoimport::TheImporter().DescribeSystem(*gcpCrs, geoimport::SystemInput::Typed);
        read.crsWkt = system.wkt;
        read.refused = system.status.message;
    }
    if (gcps != line.repeated.end() && pointsPath) {
        read.usage = "--gcp and --points cannot be given together";
    } else if (pointsPath) {
        std::string why;
        if (std::optional<PointsFile> file = ReadPointsFile(*pointsPath, why, nullptr, &read.file)) {
            read.points = std::move(file->points);
            // The file's own system stands, whatever --gcp-srs says.
            if (!file->crsWkt.empty()) {
                read.crsWkt = std::move(file->crsWkt);
                read.refused.clear();
            }
        } else {
            read.refused = "the points file " + *pointsPath + " is refused: " + why;
        }
    } else if (gcps != line.repeated.end()) {
        for (const std::string& text : gcps->second) {
            std::vector<std::string> fields{""};
            for (const char c : text) {
                if (c == ',') {
                    fields.emplace_back();
                } else {
                    fields.back().push_back(c);
                }
            }
            const std::optional<double> column = ReadNumber(fields[0]);
            const std::optional<double> row = fields.size() == 4 ? ReadNumber(fields[1]) : std::nullopt;
            if (!column || !row) {
                read.usage = "--gcp takes COL,ROW,LAT,LON, not \"" + text + "\"";
                return read;
            }
            // Without a system the latitude and longitude follow the corner boxes' rules.
            const std::optional<double> y = gcpCrs ? ReadNumber(fields[2]) : ReadPointCoordinate(fields[2], LatitudeLimit);
            const std::optional<double> x = gcpCrs ? ReadNumber(fields[3]) : ReadPointCoordinate(fields[3], LongitudeLimit);
            if (!y || !x) {
                read.refused = "--gcp " + text + ": \"" + fields[!y ? 2 : 3] + "\" is no " +
                               (gcpCrs ? "number" : !y ? "latitude" : "longitude");
                return read;
            }
            read.points.push_back({.column = *column, .row = *row, .mapX = *x, .mapY = *y});
        }
    }
    return read;
}

int RunImportCommand(const CommandLine& line, Session& session) {
    const auto usage = [&session](const std::string& text) { return RefuseUsage(session, "import", text); };
    UsageError tileError;
    if (const std::optional<TileRequest> request = ReadTileRequest(line, tileError)) {
        if (!line.operands.empty()) return usage("--tiles imports the tile area alone; give pictures in a run of their own");
        const std::optional<std::string> output = line.Value("--output");
        if (output && !EndsInBmp(*output)) return usage("-o takes a name ending in .bmp, not \"" + *output + "\"");
        const TileCut cut = CutTileArea(request->zoom, request->box);
        if (cut.error != TileCutError::None) return usage("--box: " + TileCutProblem(cut.error));
        return ImportTiles(*request, output, session) ? ExitAllDone : ExitSomeFailed;
    }
    if (!tileError.text.empty()) return usage(tileError.text);
    if (line.operands.empty()) return usage("import needs at least one picture");
    geoimport::ImportOptions options;
    options.sourceCrs = line.Value("--srs").value_or("");
    if (const auto text = line.Value("--resampling")) {
        const auto resampling = geoimport::ResamplingFromName(*text);
        if (!resampling) return usage("--resampling takes near, bilinear or cubic, not \"" + *text + "\"");
        options.resampling = *resampling;
    }
    if (line.flags.contains("--relief")) {
        const std::string kind = line.Value("--relief").value_or("grey");
        if (kind != "grey" && kind != "color") return usage("--relief takes grey or color, not \"" + kind + "\"");
        options.relief = kind == "color" ? geoimport::Relief::Colour : geoimport::Relief::Grey;
    }
    if (const auto text = line.Value("--scale")) {
        const auto scale = geoimport::ValueScalingFromText(*text);
        if (!scale) return usage("--scale takes full, stretch or MIN,MAX (0 <= MIN < MAX <= 65535), not \"" + *text + "\"");
        options.scale = *scale;
    }
    if (UsageError error; !ReadCropBox(line, options.box, error)) return usage(error.text);
    std::optional<std::string> output;
    if (UsageError error; !ReadOutputOption(line, output, error)) return usage(error.text);
    if (output && !EndsInBmp(*output)) return usage("-o takes a name ending in .bmp, not \"" + *output + "\"");
    const bool byPoints = line.repeated.contains("--gcp") || line.Value("--points");
    if (!byPoints && (line.Value("--transform") || line.Value("--gcp-srs"))) {
        return usage("--transform and --gcp-srs need control points (--gcp or --points)");
    }
    if (byPoints && line.operands.size() > 1) return usage("control points belong to one picture; give only one");
    if (byPoints && line.Value("--srs")) return usage("--srs names the system control points replace; use --gcp-srs");
    if (const auto text = line.Value("--transform")) {
        const auto transform = PointTransformFromName(*text);
        if (!transform) return usage("--transform takes poly1, poly2, poly3 or tps, not \"" + *text + "\"");
        options.pointTransform = *transform;
    }
    // Every picture given, and the points file: none of them is an output.
    std::vector<FileIdentity> alsoRead = IdentitiesOf(line.operands);
    if (byPoints) {
        PointsOption points = ReadPointsOptions(line);
        if (!points.usage.empty()) return usage(points.usage);
        if (!points.refused.empty()) {
            session.reporter.Error(line.operands[0], "cannot import: " + points.refused);
            return ExitSomeFailed;
        }
        options.points = std::move(points.points);
        options.pointsCrs = std::move(points.crsWkt);
        if (points.file) alsoRead.push_back(*points.file);
    }
    return ForEachPicture(line.operands.size(), session, [&](std::size_t i) {
        return ImportOne(line.operands[i], options, output, alsoRead, i + 1, line.operands.size(), session);
    });
}

}  // namespace

Command ImportCommand() {
    std::vector<OptionSpec> options{HelpOption, {"--srs", "", true}, {"--resampling", "", true}, {"--scale", "", true},
                                    {"--relief", "", false, false, {"grey", "color"}}, {"--output", "-o", true},
                                    {"--gcp", "", true, true}, {"--points", "", true}, {"--gcp-srs", "", true},
                                    {"--transform", "", true}};
    for (OptionSpec& option : TileOptions()) options.push_back(std::move(option));
    return {"import", ImportHelp, std::move(options), RunImportCommand};
}

}  // namespace kartivo::batch
