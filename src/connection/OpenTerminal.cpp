#include "connection/OpenTerminal.h"

#include "transport/ModbusDevCom.h"

namespace zd {

OpenedTerminal OpenTerminal(const ConnectionTarget& target, Scheduler& clock,
                            const std::function<void(const std::string&)>& note) {
    OpenedTerminal opened;
    opened.station = StationDocument::Load(target.stationFile);
    opened.terminal = target.position ? opened.station.ChooseTerminal(*target.position)
                                      : opened.station.ChooseTerminal();
    if (target.OverModbus()) {
        opened.devCom = OpenModbusDevCom(target.modbus, target.modbusRtu);
        return opened;
    }
    if (target.lineFile) {
        opened.line = sim::LoadLineFile(*target.lineFile);
        if (auto text = LinePlacementNote(opened.line, *target.lineFile, opened.terminal,
                                          target.stationFile);
            text && note)
            note(*text);
    }
    opened.simulated = CreateSimulatedDevCom(clock, opened.terminal, opened.line);
    opened.devCom = opened.simulated;
    return opened;
}

}  // namespace zd
