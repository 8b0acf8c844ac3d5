// The archive of a line, typed: the group memberships and scene levels of the 64 short addresses,
// and its two transfers over the line, upload (read every address into an archive) and download
// (write an archive into every address that answers), with typed progress, a cancel between
// addresses and a typed report.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/DeviceReadout.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"
#include "engine/Terminal.h"

namespace zd {

inline constexpr int kArchiveAddresses = 64;
// A scene level of the archive that means "not in the scene" (DALI MASK).
inline constexpr std::uint8_t kArchiveNotInScene = 255;

// The archive's entry for one short address.
struct ArchiveBallast {
    // Scene levels 0 to 254, or kArchiveNotInScene; none: unknown (not read, or marked), which a
    // download leaves as the gear holds it.
    std::array<std::optional<std::uint8_t>, kDeviceSceneCount> scenes{};
    // Group memberships; none: unknown, left as the gear holds it.
    std::array<std::optional<bool>, kDeviceGroupCount> groups{};

    // Not in any scene and in no group, every value known: what an archive file says of an
    // address it has no element for.
    static ArchiveBallast Empty();
    // Something a file keeps: a scene level other than not-in-scene or a group membership.
    bool HoldsAnything() const;
};

struct Archive {
    std::array<ArchiveBallast, kArchiveAddresses> ballasts{};
    // The addresses the file it was loaded from has an element for; none when it was not loaded
    // from a file (an upload's), so no known device is taken for one the file leaves out.
    std::optional<std::set<std::int16_t>> listed;
};

// Devices of the device list that the archive's file does not list: a download clears their
// groups and scenes. Ascending.
std::vector<std::int16_t> ArchiveUnlistedDevices(const Archive& archive, const ModuleState& state);
// The question whether to download although the unlisted devices lose their groups and scenes
// (it names them), for a front end to ask.
EngineNotice ArchiveClearingQuestion(const std::vector<std::int16_t>& unlisted);

// How one address went in a transfer.
enum class ArchiveAddressState : std::uint8_t {
    // Upload: every scene level was read (a group half may have gone unanswered: its groups are
    // unknown). Download: the gear answered and its values were sent.
    Done,
    // Upload: a scene query got no answer (nobody there, or the answer was lost). Download: nobody
    // answered QUERY BALLAST, nothing was written.
    NoAnswer,
    // Not reached: the connection was lost or the transfer cancelled before the address.
    NotAsked,
};
const char* ArchiveAddressStateName(ArchiveAddressState state);

enum class ArchiveDirection : std::uint8_t { Upload, Download };

struct ArchiveTransferOptions {
    // Hears of each step as the archive tab's progress bar moves, with the scheduler's events run
    // after it; it must not call into the link.
    // The address at work, the steps done of all (an upload has 16 per address, a download 32),
    // the stage (Reading for an upload, Writing for a download), and for an upload the address's
    // entry as read so far (archiveRead).
    ProgressFn progress;
    // Asked before each address, never inside a send-twice pair.
    std::function<bool()> cancel;
    // A download asks it the clearing question before anything is sent when devices of the list
    // are missing from the archive's file; false (No) ends the download Cancelled. Without it the
    // download goes ahead (the front end has asked before).
    std::function<bool(const EngineNotice& question)> confirmClearing;
    // The procedure an error box names when the transfer ends on an error.
    std::string errorProcedure = "ArchiveTransfer";
};

struct ArchiveUploadReport {
    // What was read: a row that did not answer, or was not reached, holds no value at all.
    Archive archive;
    std::array<ArchiveAddressState, kArchiveAddresses> addresses{};
    // Refused (DSI mode, its box shown), CommunicationLost, Cancelled, Error (its box shown), or
    // none. Silent addresses are no failure: a line rarely has all 64.
    EngineOutcome outcome;
};

struct ArchiveDownloadReport {
    std::array<ArchiveAddressState, kArchiveAddresses> addresses{};
    // Commands of an answering address that the terminal did not carry out, per address.
    std::array<int, kArchiveAddresses> failedCommands{};
    // Addresses that answered although the archive's file does not list them: their groups and
    // scenes were cleared.
    std::vector<std::int16_t> cleared;
    EngineOutcome outcome;
};

// Reads scene levels 0 to 15, then groups 0-7 and 8-15, of every short address (the device list
// may not know every gear present). A scene query without an answer ends the address. The
// queries are asked once: an address that does not answer is empty, and a second ask would double
// the time of every silent one.
ArchiveUploadReport UploadArchive(EngineTerminal& terminal,
                                  const ArchiveTransferOptions& options = {});

// Writes the archive into every short address whose gear answers QUERY BALLAST: each known scene
// level through the DTR (not-in-scene as MASK), each known group membership. Every address is
// written, so a gear the archive's file leaves out loses its groups and scenes (see
// ArchiveUnlistedDevices): the front end asks first.
ArchiveDownloadReport DownloadArchive(EngineTerminal& terminal, const Archive& archive,
                                      const ArchiveTransferOptions& options = {});

}  // namespace zd
