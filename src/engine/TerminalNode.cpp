#include "engine/TerminalNode.h"

#include <cctype>
#include <limits>

#include "devices/NumericText.h"
#include "platform/Error.h"

namespace zd {

namespace {

// An empty part of a number stands for "not given".
std::int32_t PartToLong(std::string_view part, const std::string& field) {
    return part.empty() ? -1
                        : static_cast<std::int32_t>(
                              DecimalField(part, field, std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max()));
}

// The first "ProcessData/Channel/Variable" whose "Dir" is direction, in document order. The
// children are walked rather than asked by XPath: the host checks every terminal of a station
// with this, and an XPath context per terminal made a large station take tens of seconds.
XmlNode FindVariable(XmlNode node, std::string_view direction) {
    for (XmlNode processData : node.Children()) {
        if (processData.Name() != "ProcessData") continue;
        for (XmlNode channel : processData.Children()) {
            if (channel.Name() != "Channel") continue;
            for (XmlNode variable : channel.Children()) {
                if (variable.Name() == "Variable" && variable.Attribute("Dir") == direction)
                    return variable;
            }
        }
    }
    return {};
}

}  // namespace

std::int32_t ReadChannelVariable(XmlNode node, std::string_view direction,
                                 ProcessImageEntry& entry) {
    entry = ProcessImageEntry{};
    if (!node) return kNodeReadError;
    XmlNode variable = FindVariable(node, direction);
    if (!variable) return kNodeReadError;

    std::optional<std::string> offset = variable.Attribute("Offset");
    if (!offset) return kNodeReadError;
    std::string_view text = *offset;
    const std::string of = " of the " + std::string(direction) + " variable";
    std::size_t point = text.find('.');
    entry.nWordOffset = PartToLong(text.substr(0, point), "the word offset in \"Offset\"" + of);
    if (point == std::string_view::npos) return kNodeReadError;
    std::string_view bits = text.substr(point + 1);
    bits = bits.substr(0, bits.find('.'));  // "w.b.x": only the first two parts count
    entry.nBitOffset = PartToLong(bits, "the bit offset in \"Offset\"" + of);

    std::optional<std::string> table = variable.Attribute("Table");
    if (!table) return kNodeReadError;
    entry.nTableNumber = PartToLong(*table, "\"Table\"" + of);
    return kNodeFound;
}

std::int32_t ReadDevicePos(XmlNode node, std::int32_t& position) {
    position = -1;
    std::optional<std::string> pos = node.Attribute("Pos");
    std::optional<std::int64_t> value = pos ? ParseDecimalText(*pos) : std::nullopt;
    if (value && *value >= std::numeric_limits<std::int32_t>::min() &&
        *value <= std::numeric_limits<std::int32_t>::max()) {
        position = static_cast<std::int32_t>(*value);
    }
    return 0;
}

std::int32_t ReadDeviceDesc(XmlNode node, std::string& name) {
    name = node.Attribute("Name").value_or(std::string());
    return 0;
}

bool ReadMotorolaFormat(XmlNode node) {
    XmlNode global = node.Parent().SelectSingleNode("ProcessDataGlobal");
    std::optional<std::string> format = global.Attribute("EndianFormat");
    if (!format) return false;
    std::string upper;
    for (char c : *format)
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    return upper == "MOTOROLA";
}

std::string StatusOffsetText(const ProcessImageEntry& status) {
    std::int64_t bytes = static_cast<std::int64_t>(status.nWordOffset) * 2 + status.nBitOffset / 8;
    return std::to_string(bytes) + " [Byte]";
}

}  // namespace zd
