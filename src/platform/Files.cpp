#include "platform/Files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/Error.h"

namespace zd {

namespace {

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// Closes a descriptor however the function that opened it ends.
class Descriptor {
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return m_fd; }
    // 0, or the errno of a failed close (which can report a failed delayed write).
    int Close() {
        if (m_fd < 0) return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int m_fd;
};

// 0 when every byte was written, else the errno.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// The file a path names, with a link followed when its target exists.
std::string ResolvedTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string target = real;
            std::free(real);
            return target;
        }
    }
    return path;
}

// The temporary files that an earlier run of this program left beside target when it was killed
// before it could remove them: named target + ".tmp-" + its process id + "-" + a number, of a
// process that is gone. Those of a living process (a save under way) are left alone.
void RemoveStaleTemporaries(const std::string& target) {
    namespace fs = std::filesystem;
    const fs::path path(target);
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const std::string prefix = path.filename().string() + ".tmp-";
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos ||
            rest.find_first_not_of("0123456789-") != std::string::npos || dash + 1 >= rest.size() ||
            rest.find('-', dash + 1) != std::string::npos || dash > 9)
            continue;
        const long pid = std::stol(rest.substr(0, dash));
        if (pid <= 0 || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlink(it->path().c_str());
    }
}

}  // namespace

std::string SizeText(std::size_t bytes) {
    if (bytes % kMegabyte == 0) return std::to_string(bytes / kMegabyte) + " MB";
    return std::to_string(bytes) + " bytes";
}

std::string TooLargeText(const std::string& path, const InputKind& kind) {
    return std::string("The ") + kind.name + " " + path + " is larger than " +
           SizeText(kind.limit) + ", the most this program reads";
}

std::string ReadInputFile(const std::string& path, const InputKind& kind) {
    const std::string what = std::string("The ") + kind.name + " " + path;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        throw ControlError(what + " cannot be opened (" + ErrnoText(errno) + ")", kLibraryTitle,
                           kErrFileNotFound);
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        throw ControlError(what + " is a folder", kLibraryTitle, kErrPathFileAccess);
    }
    std::string text;
    // A regular file's size is known; devices and pipes are read in chunks up to the limit.
    if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > kind.limit) {
        throw ControlError(TooLargeText(path, kind), kLibraryTitle, kErrPathFileAccess);
    }
    constexpr std::size_t kChunk = 64 * 1024;
    while (text.size() <= kind.limit) {
        const std::size_t offset = text.size();
        const std::size_t want = std::min(kChunk, kind.limit + 1 - offset);
        text.resize(offset + want);
        const ssize_t got = ::read(file.Get(), text.data() + offset, want);
        if (got < 0) {
            text.resize(offset);
            if (errno == EINTR) continue;
            throw ControlError(what + " cannot be read (" + ErrnoText(errno) + ")", kLibraryTitle,
                               kErrPathFileAccess);
        }
        text.resize(offset + static_cast<std::size_t>(got));
        if (got == 0) return text;
    }
    throw ControlError(TooLargeText(path, kind), kLibraryTitle, kErrPathFileAccess);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string target = ResolvedTarget(path);
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    auto fail = [&](const std::string& reason) {
        throw ControlError("Path/File access error: " + path + " (" + reason + "); " +
                               (existed ? "the file was left as it was" : "no file was written"),
                           kLibraryTitle, kErrPathFileAccess);
    };
    if (existed && S_ISDIR(old.st_mode)) fail("it is a folder");
    // A device or a pipe is no file to replace: a rename would put a file in its place.
    if (existed && !S_ISREG(old.st_mode)) fail("it is not a regular file");
    // A rename would replace a file the user made read-only; such a file is refused as a plain
    // write to it would be.
    if (existed && ::access(target.c_str(), W_OK) != 0) fail(ErrnoText(errno));

    // The temporary file lies beside the target, so that the rename stays within one file system
    // and replaces the target in one step. O_EXCL with a name of this process never takes over
    // another writer's file; the mode 0666 is narrowed by the user's umask as for any new file.
    RemoveStaleTemporaries(target);
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) fail("no temporary file can be created beside it: " + ErrnoText(errno));

    Descriptor file(fd);
    int error = 0;
    if (existed) {
        // The new file takes the old one's owner where that is allowed (a save by root into a
        // user's folder) and its mode; the owner first, since a change of owner clears set-id bits.
        (void)::fchown(fd, old.st_uid, old.st_gid);
        (void)::fchmod(fd, old.st_mode & 07777);
    }
    error = WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    const int closeError = file.Close();
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail(ErrnoText(error));
    }
    // The rename itself reaches the disk with the folder; a failure here loses nothing that a
    // crash of the machine would not, so it is not reported.
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (folder.empty()) folder = ".";
    Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() >= 0) (void)::fsync(directory.Get());
}

}  // namespace zd
