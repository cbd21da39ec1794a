#pragma once
// What kartivo-batch's commands share: the scanned command line, where they report, the
// corners as the window's boxes hold them, and the loading of a picture.

#include "bitmap/BitmapHeader.h"
#include "bitmap/FileNameConvention.h"
#include "bitmap/MapGeometry.h"
#include "bitmap/TileGrid.h"
#include "bitmap/TileRequest.h"
#include "common/File.h"
#include "common/MessageBox.h"
#include "geo/ControlPoints.h"
#include "geo/CoordinateText.h"
#include "tools/BatchConsole.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kartivo::batch {

struct OptionSpec {
    std::string_view name;       // "--lat"
    std::string_view shortName;  // "-o", or empty
    bool takesValue = false;
    bool repeatable = false;  // each value is kept, in order; otherwise a second one is refused
    // A flag that may be followed by one of these words ("--relief color"), kept as its value.
    std::vector<std::string_view> words = {};
};

inline const OptionSpec HelpOption{"--help", "-h", false};

struct CommandLine {
    std::map<std::string, std::string, std::less<>> values;  // by long name
    std::set<std::string, std::less<>> flags;
    std::map<std::string, std::vector<std::string>, std::less<>> repeated;  // by long name
    std::vector<std::string> operands;

    std::optional<std::string> Value(std::string_view name) const {
        const auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
};

struct UsageError {
    std::string text;
};

struct Session {
    Console& console;
    Reporter& reporter;
    MessageBoxes& boxes;
};

struct Command {
    std::string_view name;
    const char* help;
    std::vector<OptionSpec> options;
    std::function<int(const CommandLine&, Session&)> run;
};

// The commands, each in a file of its own.
Command InfoCommand();
Command MakeCommand();
Command WriteInfoCommand();
Command ImportCommand();  // only in a build with the import

// Reports a refused command line with the hint to its help; the exit status to return.
int RefuseUsage(Session& session, std::string_view command, const std::string& text);

// The output -o names, which only a single picture can have; false, with the reason, when it
// is given for several.
bool ReadOutputOption(const CommandLine& line, std::optional<std::string>& output, UsageError& error);

// The files the pictures given to a command are, taken once before anything is written: a
// picture named later in the run may bear the name an earlier one's output would get, and
// must still be there to be read. A name that leads to no file adds nothing.
std::vector<FileIdentity> IdentitiesOf(const std::vector<std::string>& pictures);

// Runs one (given the picture's index) for each of count pictures, each to its end whatever
// became of the others; the exit status says whether every one was done.
int ForEachPicture(std::size_t count, Session& session, const std::function<bool(std::size_t index)>& one);

// A count as a person types it: digits only, without sign, spaces, decimal point or exponent,
// and not 0; nothing when the text is anything else or its value does not fit 32 bits.
std::optional<std::int32_t> ReadWholePositiveArgument(std::string_view text);

// The window enables its commands only for corners, signed degrees as the handlers of the
// Degree boxes read them, whose top lies above their bottom and whose right lies beyond their left.
bool Ordered(const MapCorners& corners);

// "BOTTOM,LEFT,TOP,RIGHT" as --corners takes it; nothing, with the reason (naming option), when
// refused. With across180 a RIGHT west of LEFT is taken too: the area crosses 180 degrees.
std::optional<MapCorners> ReadCornersArgument(std::string_view text, UsageError& error,
                                              std::string_view option = "--corners", bool across180 = false);

// The options that name a tile source and its area, which info and import take alike.
std::vector<OptionSpec> TileOptions();

// The tile request the command line makes. Nothing, with the reason, when refused; nothing
// without one when it names no tile source at all.
std::optional<TileRequest> ReadTileRequest(const CommandLine& line, UsageError& error);

// --box without --tiles: the area a picture's import is cropped to. False, with the reason, when
// refused; true with nothing when there is no such box.
bool ReadCropBox(const CommandLine& line, std::optional<MapCorners>& box, UsageError& error);

// The corners a picture's file name carries, as loading writes them into the input boxes.
std::optional<MapCorners> CornersFromFileName(const FileNameCorners& found);

struct LoadedPicture {
    BitmapHeaders headers;
    std::optional<std::string> problem;  // the window's loading message when it refuses the file
    bool opened = true;                  // false when there was no file to read at all
};

// The picture's headers as the window loads them, or the window's message when it refuses it.
LoadedPicture LoadPicture(const std::string& path, MessageBoxes& boxes);

// A .points file's points and system; nothing, with why ("line 3: ..." or the system's reason),
// when it cannot be read or its text is refused. absent is set when there is no such file;
// identity, when given, is the file read, as its handle knows it.
std::optional<PointsFile> ReadPointsFile(const std::string& path, std::string& why, bool* absent = nullptr,
                                         std::optional<FileIdentity>* identity = nullptr);

// "dx 0.120 dy -0.300 pixels 0.323 metres 4.051"
std::string ResidualText(const PointResidual& residual);

// The command that imports name, quoted for a POSIX shell: NETCDF:"a.nc":Band1 holds quotes.
std::string ImportCommandFor(const std::string& name);

}  // namespace kartivo::batch
