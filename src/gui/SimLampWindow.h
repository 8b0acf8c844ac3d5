// zd4270-sim --window: the served terminal's lamps in a window, whose event loop also serves the
// Modbus clients and runs the simulator's clock, so that lamps taken out, put back or failed
// there and the clients' commands meet on one thread.
#pragma once

#include "simserver/SimServerApp.h"

namespace zd {

// Makes the program's QApplication from argc and argv and serves until SimStopRequested() or the
// window is closed. Throws ControlError for a failure while serving.
void ServeWithLampWindow(int& argc, char** argv, SimTerminalServer& served);

}  // namespace zd
