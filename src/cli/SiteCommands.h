// The commands of the round an engineer makes on site: identify a luminaire, name it; and the
// site file's names in every command's document, followed to where an addressing left the gear.
#pragma once

#include <string>

#include "cli/HeadlessCommands.h"
#include "maintenance/LineBackup.h"

namespace zd {

PreparedCommand PrepareIdentify(const CommandArguments& arguments);
PreparedCommand PrepareName(const CommandArguments& arguments);

// The site file the run uses: --site, or site.json beside the store.
std::string SitePath(HeadlessSession& session);
// After the command: names follow their gear where the command gave or moved addresses (the site
// file is written when one moved), and every device of the document gets its luminaire's name. A
// site file that cannot be read is named in "siteWarning" and left as it is.
void UpdateSiteNames(const std::string& command, HeadlessSession& session, Json& document);

// The names of the site file go into a backup, and come back from it after a restore (followed
// to the gear the restore found; "namesRestored" counts them). A site file that cannot be read
// is named in "siteWarning" and left as it is.
void NameBackup(HeadlessSession& session, LineBackup& backup);
void RestoreBackupNames(HeadlessSession& session, const LineBackup& backup, Json& document);

}  // namespace zd
