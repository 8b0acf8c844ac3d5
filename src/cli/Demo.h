// The headless demonstration: the control is refreshed with a station's terminal on a simulated
// line, then a few DALI commands go through the terminal link, with their command words, results
// and log lines printed. On the in-process simulator it runs on virtual time and takes well under a
// second; over Modbus TCP or RTU it runs in real time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Messages.h"

namespace zd {

struct DemoOptions {
    std::string stationFile;
    std::int32_t position = -1;  // -1: the station's first terminal
    std::string lineFile;
    Language language = Language::English;
    // "HOST:PORT" of a terminal (or zd4270-sim) on Modbus TCP; empty: the in-process simulator.
    std::string modbus;
    // "DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT]" of a terminal on Modbus RTU instead.
    std::string modbusRtu;
};

// Returns the process exit code: 0 when the demonstration ran, 1 when its files could not be used.
int RunDemo(const DemoOptions& options, std::FILE* out);

}  // namespace zd
