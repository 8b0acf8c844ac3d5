#include "engine/VariableText.h"

#include <array>

#include "engine/LevelText.h"
#include "link/Commands.h"

namespace zd {

namespace {

struct VariableRow {
    const char* key;
    int message;
};

constexpr std::array<VariableRow, kDeviceVariableCount> kRows{{
    {"ACTUAL DIM LEVEL", 5052},
    {"POWER ON LEVEL", 5053},
    {"SYSTEM FAILURE LEVEL", 5054},
    {"MIN LEVEL", 5055},
    {"MAX LEVEL", 5056},
    {"FADE RADE", 5057},
    {"FADE TIME", 5058},
    {"RANDOM ADDRESS", 5059},
    {"STATUS INFORMATION", 5060},
    {"VERSION NUMBER", 5061},
    {"DEVICE TYPE", 5137},
    {"PHYSICAL MIN LEVEL", 5062},
}};

}  // namespace

const char* VariableKey(DeviceVariable variable) {
    return kRows.at(static_cast<std::size_t>(variable)).key;
}

int VariableCaptionMessage(DeviceVariable variable) {
    return kRows.at(static_cast<std::size_t>(variable)).message;
}

VariableTexts FormatVariable(DeviceVariable variable, std::optional<std::int32_t> value) {
    switch (variable) {
        case DeviceVariable::ActualLevel:
        case DeviceVariable::PowerOnLevel:
        case DeviceVariable::SystemFailureLevel:
        case DeviceVariable::MinLevel:
        case DeviceVariable::MaxLevel:
        case DeviceVariable::PhysicalMinLevel:
            // A level that could not be read counts as 0 beside its question mark.
            return {value ? std::to_string(*value) : "?", LevelPercentText(value.value_or(0))};
        case DeviceVariable::FadeRate:
            if (!value) return {"?", " "};
            return {std::to_string(*value), FadeRateText(*value) + " Steps/s"};
        case DeviceVariable::FadeTime:
            if (!value) return {"?", " "};
            return {std::to_string(*value), FadeTimeText(*value) + " s"};
        case DeviceVariable::RandomAddress:
            if (!value) return {"?", "?? ?? ??"};
            return {std::to_string(*value), ByteToHexText(*value >> 16) + " " +
                                                ByteToHexText(*value >> 8) + " " +
                                                ByteToHexText(*value)};
        case DeviceVariable::Status:
            return {value ? ByteToBinaryText(*value) : "???? ????", " "};
        case DeviceVariable::Version:
            return {
                value ? std::to_string(*value >> 4) + "." + std::to_string(*value & 0x0F) : "V?.?",
                " "};
        case DeviceVariable::DeviceType:
            return {value ? std::to_string(*value) : "?", " "};
    }
    return {"?", " "};
}

}  // namespace zd
