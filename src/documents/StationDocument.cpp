#include "documents/StationDocument.h"

#include <limits>

#include "devices/NumericText.h"
#include "engine/TerminalNode.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr const char* kTerminalPath = "/Station/Coupler/Device";
constexpr const char* kDefaultUserData =
    "<Params><UserData>0</UserData><CompanyId>0</CompanyId></Params>";

// A document that did not parse, or is no station, is refused with the file and the reason.
void CheckStation(const XmlDocument& document, const std::string& name) {
    if (!document.IsLoaded() && document.ParseError() && document.ParseError()->line == 0 &&
        document.ParseError()->errorCode == 0) {
        // The file could not be read at all; that reason names the file itself.
        throw ControlError(document.ParseError()->reason, kLibraryTitle, kErrPathFileAccess);
    }
    if (!document.IsLoaded()) {
        throw ControlError("The station document " + name +
                               " cannot be read: " + document.ParseError()->Describe(),
                           kLibraryTitle, kErrXmlParse);
    }
    if (document.DocumentElement().Name() != "Station") {
        throw ControlError("The station document " + name + " has no \"Station\" element",
                           kLibraryTitle, kErrXmlParse);
    }
    // The numbers the control and the simulator read from a terminal are checked here, so that
    // one that is not plain decimal is refused with the file and its place. Read later, a "Pos"
    // of " 2" would only show as a terminal without a position.
    for (XmlNode node : document.DocumentNode().SelectNodes(kTerminalPath)) {
        try {
            const std::optional<std::string> pos = node.Attribute("Pos");
            if (pos && !pos->empty()) {
                DecimalField(*pos, "\"Pos\"", std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max());
            }
            for (const char* direction : kProcessImageNames) {
                ProcessImageEntry entry;
                ReadChannelVariable(node, direction, entry);
            }
            for (XmlNode params : node.Children()) {
                if (params.Name() != "Params") continue;
                for (XmlNode value : params.Children()) {
                    if (value.Name() != "UserData" && value.Name() != "CompanyId") continue;
                    DecimalField(value.Text(), "\"Params/" + value.Name() + "\"",
                                 std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max());
                }
            }
        } catch (const ControlError& e) {
            throw ControlError("The station document " + name +
                                   " cannot be read: the device on line " +
                                   std::to_string(node.Line()) + ": " + e.Description(),
                               kLibraryTitle, e.Number());
        }
    }
}

}  // namespace

StationDocument StationDocument::Load(const std::string& path) {
    StationDocument station;
    station.m_document.Load(path, kStationDocumentInput);
    station.m_name = path;
    CheckStation(station.m_document, path);
    return station;
}

StationDocument StationDocument::Parse(std::string_view text, const std::string& name) {
    StationDocument station;
    station.m_document.LoadXml(text, name);
    station.m_name = name;
    CheckStation(station.m_document, name);
    return station;
}

std::vector<XmlNode> StationDocument::Terminals() const {
    return m_document.DocumentNode().SelectNodes(kTerminalPath);
}

XmlNode StationDocument::TerminalNode(std::int32_t position) const {
    for (XmlNode node : Terminals()) {
        std::int32_t pos = -1;
        ReadDevicePos(node, pos);
        if (pos == position && pos != -1) return node;
    }
    return {};
}

XmlNode StationDocument::ChooseTerminal(std::int32_t position) const {
    XmlNode node = TerminalNode(position);
    if (!node) {
        throw ControlError("The station document " + m_name + " has no terminal at position " +
                               std::to_string(position),
                           kLibraryTitle, kErrObjectRequired);
    }
    return node;
}

XmlNode StationDocument::ChooseTerminal() const {
    std::vector<XmlNode> terminals = Terminals();
    if (terminals.empty()) {
        throw ControlError("The station document " + m_name + " has no terminal", kLibraryTitle,
                           kErrObjectRequired);
    }
    std::string found;
    for (XmlNode node : terminals) {
        std::string name;
        ReadDeviceDesc(node, name);
        if (name.find("ZD4270") != std::string::npos) return node;
        std::int32_t pos = -1;
        ReadDevicePos(node, pos);
        found += (found.empty() ? "" : ", ") + std::string("position ") +
                 (pos == -1 ? std::string("?") : std::to_string(pos)) + " \"" + name + "\"";
    }
    throw ControlError("The station document " + m_name + " has no ZD4270 terminal (it holds " +
                           found + "); choose one with --pos",
                       kLibraryTitle, kErrObjectRequired);
}

std::string StationUserData(XmlNode terminal) {
    XmlNode params = terminal.SelectSingleNode("Params");
    return params ? params.Xml() : std::string(kDefaultUserData);
}

sim::ImageLayout StationImageLayout(XmlNode terminal) {
    sim::ImageLayout layout;
    for (int i = 0; i < 4; ++i) {
        ProcessImageEntry entry;
        if (ReadChannelVariable(terminal, kProcessImageNames[i], entry) != kNodeFound ||
            entry.nWordOffset < 0 || entry.nBitOffset < 0 || entry.nTableNumber < 0) {
            throw ControlError(std::string("The terminal's node gives no complete ") +
                                   kProcessImageNames[i] + " variable",
                               kLibraryTitle, kErrObjectRequired);
        }
        layout.entries[static_cast<std::size_t>(i)] = {entry.nWordOffset, entry.nBitOffset,
                                                       entry.nTableNumber};
    }
    layout.motorola = ReadMotorolaFormat(terminal);
    return layout;
}

namespace {

std::string EntryText(const sim::ImageEntry& entry) {
    return "table " + std::to_string(entry.nTableNumber) + " word " +
           std::to_string(entry.nWordOffset) + "." + std::to_string(entry.nBitOffset);
}

}  // namespace

std::optional<std::string> LinePlacementNote(const sim::LineDescription& line,
                                             const std::string& lineName, XmlNode terminal,
                                             const std::string& stationName) {
    std::int32_t position = -1;
    ReadDevicePos(terminal, position);
    const sim::ImageLayout station = StationImageLayout(terminal);
    const sim::TerminalConfig& file = line.terminal;
    std::vector<std::string> differences;
    if (line.positionStated && file.position != position) {
        differences.push_back("position " + std::to_string(file.position) + " / " +
                              std::to_string(position));
    }
    if (line.layoutStated) {
        for (std::size_t i = 0; i < 4; ++i) {
            const sim::ImageEntry& a = file.layout.entries[i];
            const sim::ImageEntry& b = station.entries[i];
            if (a.nTableNumber != b.nTableNumber || a.nWordOffset != b.nWordOffset ||
                a.nBitOffset != b.nBitOffset) {
                differences.push_back(std::string(kProcessImageNames[i]) + " " + EntryText(a) +
                                      " / " + EntryText(b));
            }
        }
    }
    if (line.byteOrderStated && file.layout.motorola != station.motorola) {
        differences.push_back(std::string("byte order ") +
                              (file.layout.motorola ? "Motorola" : "Intel") + " / " +
                              (station.motorola ? "Motorola" : "Intel"));
    }
    if (differences.empty()) return std::nullopt;
    std::string text = "note: the line file " + lineName + " and the station document " +
                       stationName + " place the terminal differently (";
    for (std::size_t i = 0; i < differences.size(); ++i)
        text += (i == 0 ? "" : ", ") + differences[i];
    return text +
           "); the simulated terminal follows the station document, which is what the "
           "control reads";
}

std::shared_ptr<SimDevCom> CreateSimulatedDevCom(Scheduler& scheduler, XmlNode terminal,
                                                 sim::LineDescription line) {
    std::int32_t position = -1;
    ReadDevicePos(terminal, position);
    if (position < 1) {
        throw ControlError("The terminal's node gives no position", kLibraryTitle,
                           kErrObjectRequired);
    }
    line.terminal.position = position;
    line.terminal.layout = StationImageLayout(terminal);
    std::shared_ptr<sim::Terminal> simulated = sim::MakeTerminal(scheduler, line);
    return std::make_shared<SimDevCom>(std::move(simulated));
}

}  // namespace zd
