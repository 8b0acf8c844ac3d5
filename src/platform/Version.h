// The program's version: one number for both programs, the window's About box and the package,
// set by the build from the project's version.
#pragma once

namespace zd {

extern const char* const kProgramVersion;

}  // namespace zd
