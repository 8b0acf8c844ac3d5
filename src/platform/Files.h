// Whole files in and out. Every input is read with a size limit of its kind, so that a device
// such as /dev/zero or a runaway file is refused with a clear message instead of filling the
// memory. Every file written as a whole goes to a temporary file beside it and replaces the old
// one only once it is complete, so that a full disk or a size limit leaves the old file as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zd {

// What a file is for the user ("station document") and the most of it this program reads. The
// limits are far above what a real file of each kind holds (an archive of 64 ballasts in every
// scene and group is under 200 KB).
struct InputKind {
    const char* name;
    std::size_t limit;
};

inline constexpr std::size_t kMegabyte = 1024 * 1024;
inline constexpr InputKind kStationDocumentInput{"station document", 16 * kMegabyte};
inline constexpr InputKind kUserDataInput{"user data", 1 * kMegabyte};
inline constexpr InputKind kArchiveInput{"archive file", 4 * kMegabyte};
inline constexpr InputKind kLineFileInput{"line file", 4 * kMegabyte};
// The store of device lists and switches: 64 positions of 64 devices take some 1.2 MB.
inline constexpr InputKind kStoreInput{"store", 4 * kMegabyte};
// A line of 64 devices with every variable, group and scene is about 60 KB.
inline constexpr InputKind kBackupInput{"line backup", 4 * kMegabyte};

// "16 MB": a limit for messages.
std::string SizeText(std::size_t bytes);

// The message for an input past its kind's limit: "The archive file F is larger than 4 MB, the
// most this program reads".
std::string TooLargeText(const std::string& path, const InputKind& kind);

// The whole file. Reads at most kind.limit + 1 bytes. Throws ControlError: "File not found" (53)
// when it cannot be opened, "Path/File access error" (75) when reading fails or the file is a
// folder, and TooLargeText (75) past the limit.
std::string ReadInputFile(const std::string& path, const InputKind& kind);

// Replaces path by bytes: written to a new file in the same folder, flushed to the disk and then
// renamed over path. The new file keeps the old one's mode, and its owner where that is allowed;
// a new file gets the user's usual permissions. A link is followed, so the file it names is
// replaced. Throws ControlError "Path/File access error: <path> (<reason>); ..." telling whether
// the old file was left as it was; the temporary file is removed then.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace zd
