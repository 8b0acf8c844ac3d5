// Where the files shipped with the programs are: under PREFIX/share for a program installed in
// PREFIX/bin, or, for a program run from its build folder, under that folder's share/, which leads
// into the source tree.
#pragma once

#include <string>

namespace zd {

// The folder holding lines/ and stations/ of the examples.
std::string ExamplesDir();
// The folder of the application icon's hicolor theme (sizes as NNxNN/apps/zd4270.png).
std::string IconThemeDir();

}  // namespace zd
