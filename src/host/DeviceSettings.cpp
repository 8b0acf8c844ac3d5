#include "host/DeviceSettings.h"

#include <string>

#include "host/DeviceReadout.h"
#include "pages/configZD4270Groups.h"
#include "pages/configZD4270Scenes.h"
#include "pages/configZD4270Variables.h"

namespace zd {

bool SaveVariable(configZD4270Variables& page, int pos, int value) {
    page.lstViewVariables.ClickItem(pos + 1);
    page.txtValue.SetText(std::to_string(value));
    page.btnSaveVariable.Click();
    return !Unread(page.lstViewVariables.Item(pos + 1).SubItem(1));
}

void CheckGroups(configZD4270Groups& page, const std::vector<int>& add,
                 const std::vector<int>& remove) {
    for (int group : add) page.lstViewGroups.CheckItem(group + 1, true);
    for (int group : remove) page.lstViewGroups.CheckItem(group + 1, false);
}

void SaveSceneLevel(configZD4270Scenes& page, int scene, int level) {
    page.lstViewScenes.ClickItem(scene + 1);
    page.txtValue.SetText(std::to_string(level));
    page.btnSaveToDevice.Click();
}

}  // namespace zd
