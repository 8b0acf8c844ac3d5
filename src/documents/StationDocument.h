// The host's station document: an XML file with a coupler (its "ProcessDataGlobal" byte order) and
// the coupler's terminals as device nodes in the layout RefreshData reads, each with its user data.
// The host picks a terminal by position, hands its node to the control and its layout to the
// simulator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <memory>
#include <optional>

#include "platform/Scheduler.h"
#include "platform/Xml.h"
#include "sim/LineFile.h"
#include "sim/ProcessImage.h"
#include "transport/SimDevCom.h"

namespace zd {

class StationDocument {
  public:
    // Throws ControlError naming the file and, for a parse error, its line, column and reason.
    static StationDocument Load(const std::string& path);
    // The same for a text; name stands for the file in messages.
    static StationDocument Parse(std::string_view text, const std::string& name);

    // The device nodes of every coupler, in document order.
    std::vector<XmlNode> Terminals() const;
    // The device node whose "Pos" is position, or a null node.
    XmlNode TerminalNode(std::int32_t position) const;
    // The device node by position, or, when no position is given, the first device node that is a
    // ZD4270 (its "Name" names one), as a coupler usually holds other terminals too. Throws
    // ControlError with a clear text when there is none, naming the devices the station holds.
    XmlNode ChooseTerminal(std::int32_t position) const;
    XmlNode ChooseTerminal() const;

    const XmlDocument& Document() const { return m_document; }
    const std::string& Name() const { return m_name; }

  private:
    XmlDocument m_document;
    std::string m_name;
};

// The user-data text the host passes with a terminal: its "Params" element, or channel 0 and
// company 0 when the node has none.
std::string StationUserData(XmlNode terminal);

// The process-image layout a device node describes, read the way the control reads it, so that
// the simulated terminal places its bytes where the control looks for them. Throws ControlError
// when a variable is missing or unreadable.
sim::ImageLayout StationImageLayout(XmlNode terminal);

// The simulated terminal takes its position, layout and byte order from the station's node, since
// that is what the control reads. When the line file states them differently, this says so (for
// the user, naming both files, what differs and which one is used); nothing when they agree or the
// file leaves them open.
std::optional<std::string> LinePlacementNote(const sim::LineDescription& line,
                                             const std::string& lineName, XmlNode terminal,
                                             const std::string& stationName);

// The in-process terminal for a station's terminal node: the described line and gear, at the
// node's position and with the node's layout and byte order. Throws ControlError.
std::shared_ptr<SimDevCom> CreateSimulatedDevCom(Scheduler& scheduler, XmlNode terminal,
                                                 sim::LineDescription line = {});

}  // namespace zd
