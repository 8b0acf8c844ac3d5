// The engine's terminal without the control: a simulated terminal and its line behind the
// in-process device communication, the module state that a station document would give it, a
// link, and a virtual clock with recording dialogs. The frame log of the line is on.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Terminal.h"
#include "host/SimDevCom.h"
#include "link/Link.h"
#include "sim/LineFile.h"
#include "support/TestContext.h"

namespace zd::test {

class EngineRig {
  public:
    explicit EngineRig(const sim::LineDescription& line)
        : devCom(std::make_shared<SimDevCom>(
              std::shared_ptr<sim::Terminal>(sim::MakeTerminal(t.scheduler, line)))) {
        const sim::ImageLayout& layout = devCom->Terminal().Layout();
        for (std::size_t i = 0; i < layout.entries.size(); ++i) {
            state.ProcessImageLayout[i] = {layout.entries[i].nWordOffset,
                                           layout.entries[i].nBitOffset,
                                           layout.entries[i].nTableNumber};
        }
        state.m_bMotorola = layout.motorola;
        state.m_nFirmwareVersion = line.terminal.firmwareVersion;
        state.objDevCom = devCom;
        devCom->Terminal().SetFrameLog(true);
    }

    EngineTerminal Terminal() { return {state, link, t.context, Sim().Position(), {}}; }
    sim::Terminal& Sim() { return devCom->Terminal(); }
    // The DALI forward frames sent so far.
    std::vector<std::uint16_t> Frames() {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& frame : Sim().FrameLog()) frames.push_back(frame.frame);
        return frames;
    }

    TestContext t;
    ModuleState state;
    std::shared_ptr<SimDevCom> devCom;
    Link link{state, t.context};
};

}  // namespace zd::test
