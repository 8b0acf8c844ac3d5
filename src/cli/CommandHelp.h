// The German help: each command's text by the command's name, and the usage. The English texts
// stand in CommandHelp.cpp and PrintUsage; the German ones follow them line for line.
#pragma once

#include <map>
#include <string>

namespace zd {

const std::map<std::string, const char*>& GermanHelpTexts();
const char* GermanUsageText();

}  // namespace zd
