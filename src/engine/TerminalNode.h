// Reading the terminal's node of the host's configuration document: its position and name, the
// byte order of its coupler, and where its four process-data variables lie in the process image.
// The host stand-in reads a station's layout with the same functions, so both always agree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/ModuleState.h"
#include "platform/Xml.h"

namespace zd {

inline constexpr std::int32_t kNodeFound = 0;
inline constexpr std::int32_t kNodeReadError = 1;

// The variable of direction ("STATUS", "INPUT", "CONTROL", "OUTPUT") into entry, whose fields are
// -1 until read: kNodeFound, or kNodeReadError when the node or the variable is absent, when
// "Offset" has no point (the word offset is stored by then) or an attribute is missing. An empty
// part gives -1. A part that is not a decimal number (ParseDecimalText) throws ControlError
// naming the part and the direction.
std::int32_t ReadChannelVariable(XmlNode node, std::string_view direction,
                                 ProcessImageEntry& entry);

// The "Pos" attribute as an integer; -1 when it is missing, empty or not a decimal number
// (ParseDecimalText). Always 0.
std::int32_t ReadDevicePos(XmlNode node, std::int32_t& position);

// The "Name" attribute, empty when missing. Always 0.
std::int32_t ReadDeviceDesc(XmlNode node, std::string& name);

// True when the parent's "ProcessDataGlobal/@EndianFormat", upper-cased, is "MOTOROLA".
bool ReadMotorolaFormat(XmlNode node);

// "7 [Byte]": the byte offset of the STATUS variable, word offset x 2 + bit offset / 8.
std::string StatusOffsetText(const ProcessImageEntry& status);

}  // namespace zd
