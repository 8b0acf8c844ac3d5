// What the page tests share: the control on the simulated line with one or more gear, a page
// opened the way the device tree opens it, and the DALI frames that went over the line.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "support/ControlRig.h"

namespace zd::test {

// Forward frames: a command to a short address or a group, direct arc power, a DTR value.
constexpr std::uint16_t Forward(int addressByte, int data) {
    return static_cast<std::uint16_t>((addressByte << 8) | data);
}
constexpr std::uint16_t ShortFrame(int a, int command) {
    return Forward(2 * a + 1, command);
}
constexpr std::uint16_t GroupFrame(int g, int command) {
    return Forward(0x81 | 2 * g, command);
}
constexpr std::uint16_t ArcFrame(int a, int level) {
    return Forward(2 * a, level);
}
constexpr std::uint16_t DtrFrame(int data) {
    return Forward(0xA3, data);
}

class PageRig : public ControlRig {
  protected:
    int AddGear(sim::GearConfig gear) { return terminal->AddGear(gear); }
    // The control refreshed from the line, the frame log on.
    void Start() {
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        terminal->SetFrameLog(true);
        terminal->ClearFrameLog();
    }
    // Created by the factory and given to the control, then addressed as the tree does it.
    template <class Page>
    Page& Open(PageKind kind, std::int16_t address = -1) {
        DevicePage& page =
            control->SetPage(kind, CreateDevicePage(kind, ctx.context, control->State()));
        if (address >= 0) {
            page.SetDALIAddrType(AddressKind::Short);
            page.SetDALIAddr(address);
        }
        return static_cast<Page&>(page);
    }
    // The DALI forward frames since the last call.
    std::vector<std::uint16_t> TakeFrames() {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& f : terminal->FrameLog()) {
            if (!f.dsi) frames.push_back(f.frame);
        }
        terminal->ClearFrameLog();
        return frames;
    }
    // Runs action when the page lets pending messages be processed for the pass-th time.
    void AtDoEventsPass(int pass, std::function<void()> action) {
        if (pass <= 1) {
            ctx.scheduler.Post(std::move(action));
            return;
        }
        ctx.scheduler.Post([this, pass, action = std::move(action)]() mutable {
            AtDoEventsPass(pass - 1, std::move(action));
        });
    }
};

}  // namespace zd::test
