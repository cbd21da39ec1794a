// The import of a build without GDAL: the window leaves its import commands out, and the batch
// tool's import says why it cannot.

#include "geoimport/Importer.h"

namespace kartivo::geoimport {

const Importer& TheImporter() {
    static const UnavailableImporter importer(false, "this Kartivo is built without the import (it needs GDAL)");
    return importer;
}

}  // namespace kartivo::geoimport
