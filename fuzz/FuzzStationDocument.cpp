// Fuzzes the station document as a run of zd4270 reads it: the file parsed through the XML
// wrapper, the terminal chosen, its layout read for the simulator and the control refreshed from
// its node and user data, as the command line's session does. A bad document ends in a
// ControlError or an error box of the control, never in anything else.
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzInput.h"
#include "documents/StationDocument.h"
#include "frame/configZD4270.h"
#include "link/ModuleState.h"
#include "platform/Context.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/RegistryAccess.h"
#include "platform/VirtualScheduler.h"

namespace {

using namespace zd;

// At most this many terminals of one document are refreshed, so that an input stays quick.
constexpr std::size_t kTerminalsRefreshed = 4;

void Refresh(XmlNode terminal) {
    VirtualScheduler scheduler;
    std::shared_ptr<SimDevCom> devCom;
    try {
        devCom = CreateSimulatedDevCom(scheduler, terminal);
    } catch (const ControlError&) {
        return;
    }
    RecordingDialogs dialogs;
    MessageCatalogue messages(Language::English);
    MemoryRegistry registry;
    ModuleState state;
    const Context context{scheduler, dialogs, messages};
    configZD4270 control(context, registry, state);
    control.RefreshData(terminal, devCom, StationUserData(terminal));
    // The watchdog and whatever else the refresh started run for a while, then the host ends.
    scheduler.RunFor(1000);
    control.Terminate();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::ScratchFile file(".xml");
    StationDocument station;
    try {
        station = StationDocument::Load(file.Write(data, size));
    } catch (const ControlError&) {
        return 0;
    }
    std::size_t refreshed = 0;
    for (XmlNode terminal : station.Terminals()) {
        if (refreshed++ == kTerminalsRefreshed) break;
        Refresh(terminal);
    }
    return 0;
}
