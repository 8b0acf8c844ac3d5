#include "documents/Building.h"

#include <algorithm>
#include <map>

#include "engine/TerminalNode.h"
#include "platform/Error.h"

namespace zd {

namespace {

[[noreturn]] void Fail(const std::string& description) {
    throw ControlError(description, kLibraryTitle, kErrDevCom);
}

// The words a terminal's bytes lie in: its status or control byte and two data bytes after it.
std::vector<std::pair<std::int32_t, std::int32_t>> TerminalWords(const sim::ImageLayout& layout) {
    std::vector<std::pair<std::int32_t, std::int32_t>> words;
    for (int index = 0; index < 4; ++index) {
        const sim::ImageEntry& entry = layout.entries[static_cast<std::size_t>(index)];
        const bool data = index == sim::kImageInput || index == sim::kImageOutput;
        const std::int32_t first = entry.nWordOffset * 2 + entry.nBitOffset / 8;
        for (std::int32_t byte = first; byte < first + (data ? 2 : 1); ++byte)
            words.emplace_back(entry.nTableNumber, byte / 2);
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

}  // namespace

std::vector<StationTerminal> StationZd4270Terminals(const StationDocument& station) {
    std::vector<StationTerminal> terminals;
    std::map<std::int32_t, std::string> seen;
    const std::vector<std::string> couplers = StationCouplers(station);
    int coupler = -1;
    XmlNode lastParent;
    for (XmlNode node : station.Terminals()) {
        if (!(node.Parent() == lastParent)) {
            lastParent = node.Parent();
            ++coupler;
        }
        StationTerminal terminal;
        terminal.node = node;
        ReadDeviceDesc(node, terminal.name);
        if (terminal.name.find("ZD4270") == std::string::npos) continue;
        ReadDevicePos(node, terminal.position);
        terminal.coupler = coupler;
        terminal.couplerName = couplers.at(static_cast<std::size_t>(coupler));
        const std::string where = "\"" + terminal.name + "\" on " + terminal.couplerName;
        if (const auto other = seen.find(terminal.position); other != seen.end()) {
            throw ControlError("The station document " + station.Name() +
                                   " has two ZD4270 at "
                                   "position " +
                                   std::to_string(terminal.position) + " (" + other->second +
                                   " and " + where +
                                   "); the store keeps one device list per position",
                               kLibraryTitle, kErrObjectRequired);
        }
        seen[terminal.position] = where;
        terminals.push_back(terminal);
    }
    return terminals;
}

std::vector<std::string> StationCouplers(const StationDocument& station) {
    std::vector<std::string> names;
    for (XmlNode coupler : station.Document().DocumentNode().SelectNodes("/Station/Coupler")) {
        names.push_back(
            coupler.Attribute("Name").value_or("coupler " + std::to_string(names.size() + 1)));
    }
    return names;
}

std::string LineFileOfPosition(const std::string& folder, std::int32_t position) {
    return folder + "/pos-" + std::to_string(position) + ".json";
}

CouplerDevCom::CouplerDevCom(std::vector<std::shared_ptr<SimDevCom>> terminals)
    : m_terminals(std::move(terminals)) {
    for (std::size_t i = 0; i < m_terminals.size(); ++i) {
        for (const auto& word : TerminalWords(m_terminals[i]->Terminal().Layout())) {
            const int other = Owner(word.first, word.second);
            if (other >= 0) {
                Fail("the terminals at positions " +
                     std::to_string(
                         m_terminals[static_cast<std::size_t>(other)]->Terminal().Position()) +
                     " and " + std::to_string(m_terminals[i]->Terminal().Position()) +
                     " share word " + std::to_string(word.second) + " of table " +
                     std::to_string(word.first));
            }
            const auto at = std::lower_bound(m_owners.begin(), m_owners.end(),
                                             std::make_pair(word, static_cast<int>(i)));
            m_owners.insert(at, {word, static_cast<int>(i)});
        }
    }
}

int CouplerDevCom::Owner(std::int32_t table, std::int32_t word) const {
    const std::pair<std::int32_t, std::int32_t> place{table, word};
    const auto found = std::lower_bound(
        m_owners.begin(), m_owners.end(), place,
        [](const auto& entry, const auto& wanted) { return entry.first < wanted; });
    return found != m_owners.end() && found->first == place ? found->second : -1;
}

SimDevCom& CouplerDevCom::AtPosition(std::int32_t position) {
    for (const auto& terminal : m_terminals)
        if (terminal->Terminal().Position() == position) return *terminal;
    Fail("no terminal at position " + std::to_string(position));
}

void CouplerDevCom::ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                              std::int32_t nCount, std::uint16_t* pData) {
    if (nDevice != 0) return AtPosition(nDevice).ReadTable(nDevice, nTable, nOffset, nCount, pData);
    if (nTable == sim::Terminal::kWatchdogTable) {
        if (m_terminals.empty()) Fail("no terminal on the coupler");
        return m_terminals.front()->ReadTable(nDevice, nTable, nOffset, nCount, pData);
    }
    if (nOffset < 0 || nCount < 1 || nOffset > sim::ProcessImage::kTableWords - nCount)
        Fail("process image table " + std::to_string(nTable) + ": words out of range");
    for (std::int32_t i = 0; i < nCount; ++i) {
        const int owner = Owner(nTable, nOffset + i);
        pData[i] = 0;
        if (owner >= 0)
            m_terminals[static_cast<std::size_t>(owner)]->ReadTable(0, nTable, nOffset + i, 1,
                                                                    pData + i);
    }
}

void CouplerDevCom::WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                               std::int32_t nCount, const std::uint16_t* pData) {
    if (nDevice != 0)
        return AtPosition(nDevice).WriteTable(nDevice, nTable, nOffset, nCount, pData);
    if (nTable == sim::Terminal::kWatchdogTable) {
        for (const auto& terminal : m_terminals)
            terminal->WriteTable(nDevice, nTable, nOffset, nCount, pData);
        return;
    }
    if (nOffset < 0 || nCount < 1 || nOffset > sim::ProcessImage::kTableWords - nCount)
        Fail("process image table " + std::to_string(nTable) + ": words out of range");
    // A terminal gets its words in one call: its control byte and its data bytes must become
    // visible together, or it would take a command with the data of the one before.
    for (std::int32_t first = 0; first < nCount;) {
        const int owner = Owner(nTable, nOffset + first);
        std::int32_t end = first + 1;
        while (end < nCount && Owner(nTable, nOffset + end) == owner) ++end;
        if (owner >= 0) {
            m_terminals[static_cast<std::size_t>(owner)]->WriteTable(0, nTable, nOffset + first,
                                                                     end - first, pData + first);
        }
        first = end;
    }
}

}  // namespace zd
