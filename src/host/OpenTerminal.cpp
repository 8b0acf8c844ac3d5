#include "host/OpenTerminal.h"

#include "host/ModbusDevCom.h"

namespace zd {

OpenedTerminal OpenTerminal(const ConnectionSpec& spec, Scheduler& clock,
                            const std::function<void(const std::string&)>& note) {
    OpenedTerminal opened;
    opened.station = StationDocument::Load(spec.stationFile);
    opened.terminal = spec.position ? opened.station.ChooseTerminal(*spec.position)
                                    : opened.station.ChooseTerminal();
    if (spec.OverModbus()) {
        opened.devCom = OpenModbusDevCom(spec.modbus, spec.modbusRtu);
        return opened;
    }
    if (spec.lineFile) {
        opened.line = sim::LoadLineFile(*spec.lineFile);
        if (auto text =
                LinePlacementNote(opened.line, *spec.lineFile, opened.terminal, spec.stationFile);
            text && note)
            note(*text);
    }
    opened.simulated = CreateSimulatedDevCom(clock, opened.terminal, opened.line);
    opened.devCom = opened.simulated;
    return opened;
}

}  // namespace zd
