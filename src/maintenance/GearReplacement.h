// A failed gear's successor: when the device at an address of the line's backup is silent and one
// gear without a short address is on the line, that gear gets the address and the failed gear's
// levels, fade, groups and scenes from the backup. Anything else is refused before the line is
// changed, with what was found.
#pragma once

#include <functional>
#include <string>

#include "connection/ControlRun.h"
#include "maintenance/LineBackup.h"

namespace zd {

// How many gear on the line have no short address, as far as one broadcast query can tell.
enum class NewGear { None, One, Several };
// One broadcast QUERY MISSING SHORT ADDRESS: a clean YES is one gear, a corrupt frame several,
// silence none.
NewGear GearWithoutShortAddress(ControlRun& run);
// The same, asked again after a silence, since a gear may lose an answer.
NewGear CountNewGear(ControlRun& run);

// The steps of a replacement, in order, as it reports them.
enum class ReplaceStep { Scan, Addressing, Check, Restore };
const char* ReplaceStepName(ReplaceStep step);

// Runs the replacement of the device at address. addressGear gives the new gear its address
// (random addressing from start address address, or physical selection where byLamp) and returns
// its document; it throws CommandFailed when it fails. The document tells what was found, how the
// gear was addressed and what was restored. CommandFailed, with that document, when the line is
// not "one silent address, one new gear" (byLamp: the silent address and some new gear) or a step
// fails; ControlError when the backup holds no device at address. step is told each step as it
// begins; the host's StopRequested is asked between two steps, and a stop before the addressing
// leaves the line as it was (the document says "stoppedBefore").
Json RunReplace(ControlRun& run, const LineBackup& backup, const std::string& backupName,
                int address, bool byLamp, const std::function<Json()>& addressGear,
                const std::function<void(ReplaceStep)>& step = {});

}  // namespace zd
