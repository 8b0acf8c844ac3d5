#include "platform/Version.h"

namespace zd {

const char* const kProgramVersion = ZD4270_VERSION;

}  // namespace zd
