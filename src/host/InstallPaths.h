// Where the files shipped with the programs are: under share/zd4270 beside an installed program,
// or in the source tree for a program run from its build folder.
#pragma once

#include <string>

namespace zd {

// The folder holding lines/ and stations/ of the examples.
std::string ExamplesDir();
// The folder of the application icon's hicolor theme (sizes as NNxNN/apps/zd4270.png).
std::string IconThemeDir();

}  // namespace zd
