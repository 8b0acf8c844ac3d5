// What the addressing procedures share: the step state record and the description of a run that
// the common Start/Cancel button and its timer drive (both in frame/AddressingRun.h, since the
// control keeps them), the addressing log and small helpers of the commissioning commands.
//
// How a procedure plugs in (the member functions named here live in configZD4270):
//  1. Write the step procedure as a member, Name(bool bStart, bool bStop, bool& bFinished):
//     it hands its own steps to AddressingMachineStep, which puts the machine into Stop on
//     bStop (winning over bStart) and into Start on bStart, runs exactly one step and ends the
//     stop, an unknown step and an error as the AddressingMachine says (error title, status
//     label, TERMINATE at the stop). Give the machine a step enum with Idle, Start and Stop
//     (AddressingRun.h) and keep its state in your own fields of m_addressingState. Send through
//     SendAddressingCommand and read through ReceiveAddressingData, which pass the open log to
//     the transactions.
//  2. Describe the run in an AddressingRun (button, timer and interval, status label, running
//     flag, options operation, start status message, log words, the step procedure).
//  3. The button's Clicked calls AddressingStartClick(run) (DSI refusal, cancel while running,
//     else log, lock options, start call and timer); the timer's Tick calls
//     AddressingTimerTick(run) (one step, and at bFinished the end of the run). Connect both in
//     your own ConnectXxx(). A start call that already reports bFinished ends the run at once,
//     closing the log without an end line. A step that ends the run itself (clears the running
//     flag) leaves the timer off.
//  4. The Stop step clears the status label, sends TERMINATE as broadcast (unless the
//     machine says not to) and calls RefreshDeviceViews, so that the tree, the change list and
//     the archive views show colDevices.
//     Helpers: CheckDaliMode, ShowAddressLimitMessage, AddAddressedDevice, EmptyDeviceList,
//     AddLampRow, AddressByte.
#pragma once

#include <cstdint>

#include "engine/AddressingTypes.h"
#include "frame/AddressingRun.h"

namespace zd {}  // namespace zd
