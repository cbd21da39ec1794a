#include "tools/BatchShared.h"

#include "common/FileCommon.h"
#include "common/NumberText.h"
#include "common/PathParts.h"
#include "common/Utf8.h"
#include "mapdata/MapDataFile.h"

#include <cstdint>

namespace kartivo::batch {

namespace {

constexpr const char* WriteInfoHelp =
    R"(Usage: kartivo-batch write-info MAPFILE --name NAME --corners BOTTOM,LEFT,TOP,RIGHT [--layer N]

Writes the map's name, the corners of the output rectangle and the layer into the head of
an existing map data file, as the window's "Write Informations" does; the rest of the
file is kept. MAPFILE must exist and its extension must be exactly "mbx".

Options:
  --name NAME       the map's name in UTF-8 (stored in Shift-JIS, cut to 28 bytes)
  --corners BOTTOM,LEFT,TOP,RIGHT
                    decimal degrees, or degrees, minutes and seconds
  --layer N         1 to 4; default 1
)";

int RunWriteInfoCommand(const CommandLine& line, Session& session) {
    const auto usage = [&session](const std::string& text) { return RefuseUsage(session, "write-info", text); };
    if (line.operands.size() != 1) return usage("write-info takes exactly one map data file");
    const auto name = line.Value("--name");
    if (!name) return usage("write-info needs --name");
    // The name goes into the file as Shift-JIS converted from UTF-8; other bytes would come out
    // as "?", a name nobody typed.
    if (!IsWellFormedUtf8(*name)) return usage("--name takes a text in UTF-8; the name given is not");
    const auto cornersText = line.Value("--corners");
    if (!cornersText) return usage("write-info needs --corners");
    UsageError error;
    const std::optional<MapCorners> corners = ReadCornersArgument(*cornersText, error);
    if (!corners) return usage(error.text);
    std::uint8_t layer = 1;
    if (const auto text = line.Value("--layer")) {
        const auto value = NumericValue(*text);
        if (!value || (*value != 1 && *value != 2 && *value != 3 && *value != 4)) {
            return usage("--layer takes 1, 2, 3 or 4, not \"" + *text + "\"");
        }
        layer = static_cast<std::uint8_t>(*value);
    }

    const std::string& path = line.operands.front();
    const auto fail = [&](const std::string& why) {
        session.reporter.Error(path, why);
        return ExitSomeFailed;
    };
    if (GetExtensionName(path) != "mbx") return fail("not a map data file: its extension must be exactly \"mbx\"");

    const MapDataFields fields{.name = *name,
                               .top = HeldByDegreeBox(corners->top),
                               .left = HeldByDegreeBox(corners->left),
                               .bottom = HeldByDegreeBox(corners->bottom),
                               .right = HeldByDegreeBox(corners->right),
                               .layer = layer};
    const MapDataResult written = WriteMapDataFile(path, fields, session.boxes);
    return written.error == MapDataError::None ? ExitAllDone : fail(MapDataFailureText(written));
}

}  // namespace

Command WriteInfoCommand() {
    return {"write-info",
            WriteInfoHelp,
            {HelpOption, {"--name", "", true}, {"--corners", "", true}, {"--layer", "", true}},
            RunWriteInfoCommand};
}

}  // namespace kartivo::batch
