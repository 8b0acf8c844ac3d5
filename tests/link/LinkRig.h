// A link wired to a scripted terminal in a given layout and byte order, with a virtual clock and
// recording dialogs: the common ground of the link tests.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "link/Link.h"
#include "support/ScriptedTerminal.h"
#include "support/TestContext.h"

namespace zd::test {

struct LinkSetup {
    std::string name;
    Layout layout;
    bool bMotorola;
};

inline void PrintTo(const LinkSetup& setup, std::ostream* os) {
    *os << setup.name;
}

// The placements a station document gives, in both byte orders.
inline const LinkSetup kLinkSetups[] = {
    {"PackedIntel", PackedLayout(), false},
    {"PackedMotorola", PackedLayout(), true},
    {"WordAlignedIntel", WordAlignedLayout(), false},
    {"WordAlignedMotorola", WordAlignedLayout(), true},
};

struct LinkRig {
    LinkRig(const Layout& layout, bool bMotorola)
        : terminal(std::make_shared<ScriptedTerminal>(t.scheduler, layout, bMotorola)) {
        state.objDevCom = terminal;
        state.ProcessImageLayout = layout;
        state.m_bMotorola = bMotorola;
    }
    explicit LinkRig(const LinkSetup& setup) : LinkRig(setup.layout, setup.bMotorola) {}

    std::int64_t Now() const { return t.scheduler.Now(); }
    const std::string& BoxText(std::size_t i = 0) const { return t.dialogs.boxes.at(i).text; }

    TestContext t;
    ModuleState state;
    std::shared_ptr<ScriptedTerminal> terminal;
    Link link{state, t.context};
};

}  // namespace zd::test
