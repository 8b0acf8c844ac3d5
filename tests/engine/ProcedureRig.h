// The engine on a simulated terminal without the form: the terminal of an example line behind the
// port, the state its station would give (packed Intel placement), the link and the line, on a
// virtual clock with recording dialogs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/AddressingLine.h"
#include "sim/LineFile.h"
#include "support/ControlRig.h"

namespace zd::test {

struct ProcedureBench {
    // The example line (examples/lines/<name>, packed Intel at position 1) with the firmware
    // given, as a refresh would find it.
    void UseLine(const std::string& name, std::uint16_t firmware) {
        sim::LineDescription description = sim::LoadLineFile((kExampleLines / name).string());
        description.terminal.firmwareVersion = firmware;
        terminal = sim::MakeTerminal(ctx.scheduler, description);
        terminal->SetFrameLog(true);
        port = std::make_shared<SimTerminalPort>(*terminal);
        state.objDevCom = port;
        state.ProcessImageLayout = {ProcessImageEntry{0, 0, 0}, ProcessImageEntry{0, 8, 0},
                                    ProcessImageEntry{0, 0, 1}, ProcessImageEntry{0, 8, 1}};
        state.m_nFirmwareVersion = firmware;
    }

    // The short addresses the gear hold, in the order of the line file.
    std::vector<int> Shorts() const {
        std::vector<int> shorts;
        for (const auto& gear : terminal->GetLine().Gear())
            shorts.push_back(gear->ShortAddress() ? *gear->ShortAddress() : -1);
        return shorts;
    }

    TestContext ctx;
    ModuleState state;
    std::unique_ptr<sim::Terminal> terminal;
    std::shared_ptr<SimTerminalPort> port;
    Link link{state, ctx.context};
    AddressingLine line{EngineTerminal{state, link, ctx.context, 1, {}}};
};

class ProcedureRig : public ::testing::Test, public ProcedureBench {};

}  // namespace zd::test
