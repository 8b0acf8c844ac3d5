#include "host/OpenTerminal.h"

#include "host/ModbusDevCom.h"

namespace zd {

OpenedTerminal OpenTerminal(const TerminalSource& source, Scheduler& clock,
                            const std::function<void(const std::string&)>& note) {
    OpenedTerminal opened;
    opened.station = StationDocument::Load(source.stationFile);
    opened.terminal = source.position >= 0 ? opened.station.ChooseTerminal(source.position)
                                           : opened.station.ChooseTerminal();
    if (source.OverModbus()) {
        opened.devCom = OpenModbusDevCom(source.modbus, source.modbusRtu);
        return opened;
    }
    if (source.lineFile) {
        opened.line = sim::LoadLineFile(*source.lineFile);
        if (auto text = LinePlacementNote(opened.line, *source.lineFile, opened.terminal,
                                          source.stationFile);
            text && note)
            note(*text);
    }
    opened.simulated = CreateSimulatedDevCom(clock, opened.terminal, opened.line);
    opened.devCom = opened.simulated;
    return opened;
}

}  // namespace zd
