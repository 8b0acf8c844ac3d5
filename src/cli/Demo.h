// The headless demonstration: the control is refreshed with a station's terminal on a simulated
// line, then a few DALI commands go through the terminal link, with their command words, results
// and log lines printed. On the in-process simulator it runs on virtual time and takes well under a
// second; over Modbus TCP or RTU it runs in real time.
#pragma once

#include <cstdio>

#include "connection/ConnectionTarget.h"
#include "platform/Messages.h"

namespace zd {

struct DemoOptions {
    ConnectionTarget connection;
    Language language = Language::English;
};

// Returns the process exit code: 0 when the demonstration ran, 1 when its files could not be used.
int RunDemo(const DemoOptions& options, std::FILE* out);

}  // namespace zd
