// `zd4270 serve`: the line served to the browsers of phones, tablets and computers until Ctrl-C
// or SIGTERM, which end the run under way as they end a command, then the server.
#pragma once

#include <cstdio>
#include <string>

#include "cli/CommandLine.h"

namespace zd {

// The terminal drawing of a QR code of text: two rows of modules to a line of half blocks, black on
// white whatever the terminal's colours, with the quiet zone around it. Empty when text cannot be
// encoded.
std::string TerminalQrCode(const std::string& text);

// Serves the line the parsed command line names; returns the exit code.
int RunServe(const ParsedCommandLine& parsed, std::FILE* out, std::FILE* err);

}  // namespace zd
