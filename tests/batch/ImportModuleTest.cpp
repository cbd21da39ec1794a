// The import module is opened only when it comes from the program's own build: the table passes
// C++ types by layout, so one from another build would be called with the wrong one.

#include "geoimport/GeoImportModule.h"

#include <gtest/gtest.h>

namespace kartivo::geoimport {
namespace {

TEST(ImportModule, OneFromAnotherBuildIsRefusedWithAReasonToActOn) {
    EXPECT_EQ(ModuleRefusal(KARTIVO_OWN_MODULE), "");
    const std::string other = KARTIVO_OTHER_BUILD_MODULE;
    EXPECT_EQ(ModuleRefusal(other), "the import module " + other +
                                        " cannot be loaded: it comes from another build of Kartivo than this program (" +
                                        KARTIVO_BUILD_IDENTITY + "); install or build Kartivo again as a whole");
    EXPECT_NE(ModuleRefusal("/nonexistent/kartivo-geoimport.so").find("No such file or directory"), std::string::npos);
}

}  // namespace
}  // namespace kartivo::geoimport
