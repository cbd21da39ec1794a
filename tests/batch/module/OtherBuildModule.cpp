// An import module as another build of Kartivo leaves it: the table's version is this one's, its
// build is not, and nothing else in it may ever be called.

#include "geoimport/GeoImportModule.h"

extern "C" __attribute__((visibility("default"))) const kartivo::geoimport::ModuleTable* kartivo_geoimport_table() {
    static const kartivo::geoimport::ModuleTable table{.version = kartivo::geoimport::ModuleTableVersion,
                                                       .build = "0123456789abcdef"};
    return &table;
}
