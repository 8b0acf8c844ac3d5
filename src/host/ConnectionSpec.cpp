#include "host/ConnectionSpec.h"

#include "host/ModbusDevCom.h"
#include "platform/Error.h"

namespace zd {

std::optional<std::string> ConnectionRefusal(const ConnectionSpec& spec) {
    if (!spec.modbus.empty() && !spec.modbusRtu.empty())
        return "--modbus and --modbus-rtu name the terminal both (Modbus TCP and RTU): give one "
               "of them";
    if (!spec.modbusRtu.empty()) {
        try {
            ParseModbusSerialLine(spec.modbusRtu);
        } catch (const ControlError& error) {
            return "--modbus-rtu: " + error.Description();
        }
    }
    if (spec.lineFileGiven && spec.OverModbus())
        return std::string("--line is the simulated line; over ") + spec.ModbusOption() +
               " the terminal's own line answers: give one of them";
    if (!spec.modbus.empty()) {
        try {
            ParseModbusEndpoint(spec.modbus);
        } catch (const ControlError& error) {
            return "--modbus: " + error.Description();
        }
    }
    return std::nullopt;
}

}  // namespace zd
