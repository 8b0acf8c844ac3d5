// zd4270-sim: a simulated ZD4270 terminal and its DALI line, served on Modbus TCP so that zd4270
// --modbus HOST:PORT (or any Modbus client) can drive it over a real socket, or on Modbus RTU over
// a serial line for zd4270 --modbus-rtu. Headless, or with --window a window of the lamps; runs
// until SIGINT or SIGTERM (or the window is closed).
#include <cstdio>

#include "gui/SimLampWindow.h"
#include "simserver/SimServerApp.h"

int main(int argc, char** argv) {
    return zd::RunSimServer(argc, argv, stdout, stderr, zd::ServeWithLampWindow);
}
