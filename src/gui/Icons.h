// The small pictures of the device tree and the lists, by the image keys the control uses
// ("DALI", "LampDALI", "LampDALIError", "LampFade", "Groups", "Scenes", "Lamp").
#pragma once

#include <QIcon>
#include <string>

namespace zd {

// The picture for key; an unknown key gives an empty icon.
QIcon ImageIcon(const std::string& key);

}  // namespace zd
