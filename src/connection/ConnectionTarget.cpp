#include "connection/ConnectionTarget.h"

#include "platform/Error.h"
#include "transport/ModbusDevCom.h"

namespace zd {

std::optional<std::string> ConnectionRefusal(const ConnectionTarget& target) {
    if (!target.modbus.empty() && !target.modbusRtu.empty())
        return "--modbus and --modbus-rtu name the terminal both (Modbus TCP and RTU): give one "
               "of them";
    if (!target.modbusRtu.empty()) {
        try {
            ParseModbusSerialLine(target.modbusRtu);
        } catch (const ControlError& error) {
            return "--modbus-rtu: " + error.Description();
        }
    }
    if (target.lineFileGiven && target.OverModbus())
        return std::string("--line is the simulated line; over ") + target.ModbusOption() +
               " the terminal's own line answers: give one of them";
    if (!target.modbus.empty()) {
        try {
            ParseModbusEndpoint(target.modbus);
        } catch (const ControlError& error) {
            return "--modbus: " + error.Description();
        }
    }
    return std::nullopt;
}

}  // namespace zd
