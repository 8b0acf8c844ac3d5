// A program run from its build folder finds the shipped files through the build folder's share/,
// as an installed one finds them under its prefix: the test programs are such programs.
#include <gtest/gtest.h>

#include <filesystem>

#include "connection/InstallPaths.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

TEST(InstallPaths, BuildFolderLeadsToTheShippedFiles) {
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const fs::path examples = ExamplesDir();
    EXPECT_EQ(examples, fs::canonical(program.parent_path() / "share" / "zd4270" / "examples"));
    EXPECT_TRUE(fs::is_regular_file(examples / "lines" / "three-addressed.json")) << examples;
    EXPECT_TRUE(fs::is_regular_file(examples / "stations" / "packed-intel.xml")) << examples;
    const fs::path icons = IconThemeDir();
    EXPECT_TRUE(fs::is_regular_file(icons / "48x48" / "apps" / "zd4270.png")) << icons;
}

}  // namespace
}  // namespace zd
