// The device pages of each kind, as the device tree opens them.
#include "frame/PageEvents.h"
#include "pages/configZD4270Commands.h"
#include "pages/configZD4270Emergency.h"
#include "pages/configZD4270Groups.h"
#include "pages/configZD4270LightControl.h"
#include "pages/configZD4270Scenes.h"
#include "pages/configZD4270Variables.h"

namespace zd {

std::unique_ptr<DevicePage> CreateDevicePage(PageKind kind, const Context& context,
                                             const ModuleState& state) {
    switch (kind) {
        case PageKind::Commands:
            return std::make_unique<configZD4270Commands>(context, state);
        case PageKind::LightControl:
            return std::make_unique<configZD4270LightControl>(context);
        case PageKind::Variables:
            return std::make_unique<configZD4270Variables>(context);
        case PageKind::Groups:
            return std::make_unique<configZD4270Groups>(context);
        case PageKind::Scenes:
            return std::make_unique<configZD4270Scenes>(context);
        case PageKind::Emergency:
            return std::make_unique<configZD4270Emergency>(context);
    }
    return nullptr;
}

}  // namespace zd
