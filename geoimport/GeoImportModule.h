#pragma once
// What the import module hands the programs: one C entry point returning a table that holds the
// module's Importer. The programs open the module only when a picture needs GDAL, so a Make, a
// Write Informations or an info of a bitmap never maps GDAL and its hundred-odd libraries.

#include "geoimport/Importer.h"

#include <cstdint>
#include <string>

namespace kartivo::geoimport {

struct ModuleTable {
    // These two come first in every version of the table. version is raised whenever they or
    // the table change; build names the exact build the module comes from (a digest of the
    // headers its types are made of, the compiler and the flags), so a module from any other
    // build, whatever its version, is refused instead of called with the wrong layout.
    std::uint32_t version;
    const char* build;
    const Importer* importer;
};

inline constexpr std::uint32_t ModuleTableVersion = 14;

// Why the programs would refuse the module at path ("it comes from another build..."); empty
// when they would use it.
std::string ModuleRefusal(const std::string& path);

}  // namespace kartivo::geoimport

// The one symbol the module exports.
#define KARTIVO_GEOIMPORT_ENTRY "kartivo_geoimport_table"
extern "C" const kartivo::geoimport::ModuleTable* kartivo_geoimport_table();
