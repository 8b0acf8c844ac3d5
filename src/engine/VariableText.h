// The Variables page's rows as texts: each variable's key and caption, its value and the converted
// value beside it. The page shows them, and every reading that reports a device's variables (the
// command line's documents, the report) repeats them from here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/DeviceReadout.h"

namespace zd {

// The row's key: "ACTUAL DIM LEVEL", "FADE RADE" ...
const char* VariableKey(DeviceVariable variable);
// The message id of the row's caption.
int VariableCaptionMessage(DeviceVariable variable);

// The list's second and third columns.
struct VariableTexts {
    std::string value;
    // " " where the variable has no converted value.
    std::string converted;
};
// The texts of a variable's value (none: it could not be read): a level "254" and "100 %" (a level
// not read "?" and "0 %"), a fade rate "7" and "44.7 Steps/s", a fade time "2" and "1 s", the
// random address in decimal and as its bytes "0A 0B 0C", the status byte as bits " 0000 0100", the
// version "1.0", the device type as its number. What was not read shows a question mark ("?",
// "???? ????", "V?.?", "?? ?? ??").
VariableTexts FormatVariable(DeviceVariable variable, std::optional<std::int32_t> value);

}  // namespace zd
