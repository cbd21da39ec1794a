#include "tools/BatchShared.h"

#include "geoimport/GeoImport.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
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
Bands of 16-bit or floating-point values (elevation, not colours) are refused. Latitudes
beyond 85.0511 degrees, where Web Mercator ends, are cut off.

Options:
  --srs CRS         the picture's coordinate system when it names none (a world file
                    without .prj) or a wrong one, e.g. EPSG:4326 or EPSG:32654
  --resampling near|bilinear|cubic
                    how warped pixels are found; default near (nearest neighbour)
  -o, --output NAME.bmp
                    with one picture only: writes NAME(bottom,left,top,right).bmp, the
                    corners added as to a name of its own (with ( and ) made [ and ]);
                    a picture split at 180 degrees: NAME_west(...).bmp and NAME_east(...).bmp

An output never replaces any of the pictures given, nor a file read with one (its world
file, .prj, .aux.xml or mask); an existing output is written over. The path of each
bitmap written is printed on standard output, the west part of a split picture first.
)";

bool ImportOne(const std::string& picturePath, const geoimport::ImportOptions& options,
               const std::optional<std::string>& output, const std::vector<FileIdentity>& allPictures,
               std::size_t index, std::size_t total, Session& session) {
    Reporter& reporter = session.reporter;
    const geoimport::ImportPreparation prepared = geoimport::PrepareImport(picturePath, options);
    if (!prepared.job) {
        reporter.Error(picturePath, "cannot import: " + prepared.status.message);
        return false;
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
            reporter.Progress(index, total, FileNameOf(picturePath) + " " + std::to_string(percent) + "%");
            shownPercent = percent;
        }
        return true;
    };
    const geoimport::ImportStatus written = prepared.job->Write(outputPaths, progress, allPictures);
    if (written.error != geoimport::ImportError::None) {
        reporter.Error(picturePath, written.message);
        return false;
    }
    if (const std::string notes = geoimport::ImportNotes(parts); !notes.empty()) reporter.Error(picturePath, notes);
    reporter.EndProgress();
    for (const std::string& outputPath : outputPaths) session.console.out << outputPath << '\n';
    return true;
}

int RunImportCommand(const CommandLine& line, Session& session) {
    const auto usage = [&session](const std::string& text) { return RefuseUsage(session, "import", text); };
    if (line.operands.empty()) return usage("import needs at least one picture");
    geoimport::ImportOptions options;
    options.sourceCrs = line.Value("--srs").value_or("");
    if (const auto text = line.Value("--resampling")) {
        const auto resampling = geoimport::ResamplingFromName(*text);
        if (!resampling) return usage("--resampling takes near, bilinear or cubic, not \"" + *text + "\"");
        options.resampling = *resampling;
    }
    std::optional<std::string> output;
    if (UsageError error; !ReadOutputOption(line, output, error)) return usage(error.text);
    if (output && !EndsInBmp(*output)) return usage("-o takes a name ending in .bmp, not \"" + *output + "\"");
    const std::vector<FileIdentity> allPictures = IdentitiesOf(line.operands);
    bool allDone = true;
    for (std::size_t i = 0; i < line.operands.size(); ++i) {
        allDone = ImportOne(line.operands[i], options, output, allPictures, i + 1, line.operands.size(), session) &&
                  allDone;
    }
    session.reporter.EndProgress();
    return allDone ? ExitAllDone : ExitSomeFailed;
}

}  // namespace

Command ImportCommand() {
    return {"import",
            ImportHelp,
            {HelpOption, {"--srs", "", true}, {"--resampling", "", true}, {"--output", "-o", true}},
            RunImportCommand};
}

}  // namespace kartivo::batch
