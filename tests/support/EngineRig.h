// The engine on a simulated terminal, without the form: a terminal and its line behind the
// in-process port (whose fault switches, SimDevCom::Faults(), fail calls on request), the module
// state that a station document would give it, a link and the addressing line, on a virtual
// clock with recording dialogs. The frame log of the line is on.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/Terminal.h"
#include "link/Link.h"
#include "sim/LineFile.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd::test {

class EngineRig {
  public:
    // No terminal yet: UseLine or UseExampleLine gives one.
    EngineRig() = default;
    explicit EngineRig(const sim::LineDescription& description) { UseLine(description); }

    // A terminal with the line described, the state placed as its process image lies.
    void UseLine(const sim::LineDescription& description) {
        devCom = std::make_shared<SimDevCom>(
            std::shared_ptr<sim::Terminal>(sim::MakeTerminal(ctx.scheduler, description)));
        const sim::ImageLayout& layout = devCom->Terminal().Layout();
        for (std::size_t i = 0; i < layout.entries.size(); ++i) {
            state.ProcessImageLayout[i] = {layout.entries[i].nWordOffset,
                                           layout.entries[i].nBitOffset,
                                           layout.entries[i].nTableNumber};
        }
        state.m_bMotorola = layout.motorola;
        state.m_nFirmwareVersion = description.terminal.firmwareVersion;
        state.objDevCom = devCom;
        devCom->Terminal().SetFrameLog(true);
    }
    // The example line examples/lines/<name> with the firmware given, as a refresh finds it.
    void UseExampleLine(const std::string& name, std::uint16_t firmware) {
        sim::LineDescription description = sim::LoadLineFile((kExampleLines / name).string());
        description.terminal.firmwareVersion = firmware;
        UseLine(description);
    }

    EngineTerminal Terminal() { return {state, link, ctx.context, Sim().Position(), {}}; }
    sim::Terminal& Sim() { return devCom->Terminal(); }
    // The DALI forward frames sent so far.
    std::vector<std::uint16_t> Frames() {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& frame : Sim().FrameLog()) frames.push_back(frame.frame);
        return frames;
    }
    // The short addresses the gear hold, in the order of the line (-1: none).
    std::vector<int> Shorts() {
        std::vector<int> shorts;
        for (const auto& gear : Sim().GetLine().Gear())
            shorts.push_back(gear->ShortAddress() ? *gear->ShortAddress() : -1);
        return shorts;
    }

    TestContext ctx;
    ModuleState state;
    std::shared_ptr<SimDevCom> devCom;
    Link link{state, ctx.context};
    // The line of the procedures; the terminals of the example lines sit at position 1.
    AddressingLine line{EngineTerminal{state, link, ctx.context, 1, {}}};
};

// A test fixture on the engine rig.
class ProcedureRig : public ::testing::Test, public EngineRig {};

}  // namespace zd::test
