#include "tools/BatchCommands.h"

#include "tools/BatchShared.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <span>

#ifndef KARTIVO_VERSION
#error "the build passes the project's version as KARTIVO_VERSION"
#endif

namespace kartivo::batch {

namespace {

constexpr const char* ProgramHelp = R"(Usage: kartivo-batch COMMAND [OPTIONS] FILE...

Runs Kartivo's jobs from a terminal or a script, for many pictures at once.

Commands:
  info        what loading each picture shows, and the name and corners in its file name
  make        the re-projected picture of each input, as the window's Make writes it
  write-info  the map's name, corners and layer into a map data file (.mbx)
  import      a georeferenced picture (GeoTIFF, PNG or JPEG with a world file, ...) as a
              bitmap with Web Mercator rows, its corners in its name

Options:
  -h, --help  this help; "kartivo-batch COMMAND --help" explains a command
  --version   the program's version

Exit status: 0 when every file succeeded, 1 when any failed (the others are still
processed), 2 when the command line was refused (nothing is processed).
)";

// Options may stand anywhere among the files, as "--name value" or "--name=value"; after
// "--" everything is a file, for names that start with "-". An option given twice is
// refused rather than one of them silently winning.
std::optional<CommandLine> ScanCommandLine(std::span<const std::string> args, std::span<const OptionSpec> specs,
                                           UsageError& error) {
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string_view written = std::string_view(arg).substr(0, equals);
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& candidate : specs) {
            if (written == candidate.name || (!candidate.shortName.empty() && written == candidate.shortName)) {
                spec = &candidate;
            }
        }
        if (spec == nullptr) {
            error.text = "unknown option \"" + std::string(written) + "\"";
            return std::nullopt;
        }
        const std::string name(spec->name);
        if (spec->repeatable && spec->takesValue) {
            if (equals == std::string::npos && i + 1 >= args.size()) {
                error.text = "option " + name + " needs a value";
                return std::nullopt;
            }
            line.repeated[name].push_back(equals != std::string::npos ? arg.substr(equals + 1) : args[++i]);
            continue;
        }
        if (line.values.contains(name) || line.flags.contains(name)) {
            error.text = "option " + name + " is given more than once";
            return std::nullopt;
        }
        if (!spec->takesValue) {
            if (equals != std::string::npos && spec->words.empty()) {
                error.text = "option " + name + " takes no value";
                return std::nullopt;
            }
            line.flags.insert(name);
            if (equals != std::string::npos) {
                line.values[name] = arg.substr(equals + 1);
            } else if (i + 1 < args.size() && std::ranges::find(spec->words, args[i + 1]) != spec->words.end()) {
                line.values[name] = args[++i];
            }
        } else if (equals != std::string::npos) {
            line.values[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            line.values[name] = args[++i];
        } else {
            error.text = "option " + name + " needs a value";
            return std::nullopt;
        }
    }
    return line;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands{
        InfoCommand(),
        MakeCommand(),
        WriteInfoCommand(),
        ImportCommand(),
    };
    return commands;
}

}  // namespace

int RunBatch(const std::vector<std::string>& args, Console& console) {
    Reporter reporter(console);
    ReportingMessageBoxes boxes(reporter);
    Session session{console, reporter, boxes};

    if (args.empty()) {
        console.err << ProgramHelp;
        return ExitUsage;
    }
    const std::string& first = args.front();
    if (first == "-h" || first == "--help") {
        console.out << ProgramHelp;
        return ExitAllDone;
    }
    if (first == "--version") {
        console.out << ProgramName << ' ' << KARTIVO_VERSION << '\n';
        return ExitAllDone;
    }
    for (const Command& command : Commands()) {
        if (first != command.name) continue;
        UsageError error;
        const std::optional<CommandLine> line =
            ScanCommandLine(std::span(args).subspan(1), command.options, error);
        if (!line) return RefuseUsage(session, command.name, error.text);
        if (line->flags.contains("--help")) {
            console.out << command.help;
            return ExitAllDone;
        }
        return command.run(*line, session);
    }
    return RefuseUsage(session, {}, "unknown command \"" + first + "\"");
}

}  // namespace kartivo::batch
