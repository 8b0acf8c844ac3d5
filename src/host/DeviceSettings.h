// Writes what a user edits on a device's pages, with the pages' own controls: a variable's row,
// its value and Save; a group's box; a scene's row, its level and Save. The pages do not look at
// the answers, so whoever writes reads the page again (btnRefreshList) to see what the device took.
#pragma once

#include <vector>

namespace zd {

class configZD4270Variables;
class configZD4270Groups;
class configZD4270Scenes;

// Picks the variable's row (pos in the page's list), types value and saves it; true when the
// page could send it.
bool SaveVariable(configZD4270Variables& page, int pos, int value);
// Ticks the boxes of add and clears those of remove; the page sends each change at once.
void CheckGroups(configZD4270Groups& page, const std::vector<int>& add,
                 const std::vector<int>& remove);
// Picks the scene, types its level (255: mask) and saves it to the device.
void SaveSceneLevel(configZD4270Scenes& page, int scene, int level);

}  // namespace zd
