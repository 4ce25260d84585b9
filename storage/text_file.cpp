// Reading and saving small text files: where a save writes, and what it does when it cannot.
#include "storage/text_file.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "storage/file_attributes.hpp"
#include "storage/new_file.hpp"
#include "storage/stream_output.hpp"

namespace quobel::storage {

namespace {

std::string system_error_text(int error) {
    return std::strerror(error);
}

// Why a typed name cannot name a file, or empty when it can. The system reads a name only up to
// a NUL character, so a name holding one would reach a different file than the one typed.
std::string unusable_name(const std::string& name) {
    if (name.empty()) {
        return "No file name given.";
    }
    if (name.find('\0') != std::string::npos) {
        return "The file name holds a NUL character, which no file name can hold.";
    }
    return {};
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    // Closes now; false with errno set when the system reports a failure of an earlier write.
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_;
};

// The path a save writes to: `name`, or through links the file that the last of them names.
// Empty with errno set on a loop (ELOOP, as the system reports it) or a failure to read a link.
struct Target {
    std::string path;
    bool exists = false;
    struct stat info {};
    int descriptor = -1;       // a descriptor of this program that the name stands for
    bool system_link = false;  // a link in /proc, whose text need not name any file
};

std::optional<Target> save_target(const std::string& name) {
    Target target{name};
    // As many links as the system follows itself before it reports a loop.
    for (int links = 0; links <= 40; ++links) {
        if (target.descriptor = detail::descriptor_named(target.path); target.descriptor >= 0) {
            return target;
        }
        if (::lstat(target.path.c_str(), &target.info) != 0) {
            if (errno != ENOENT) {
                return std::nullopt;
            }
            return target;  // a file still to be made
        }
        if (!S_ISLNK(target.info.st_mode)) {
            target.exists = true;
            return target;
        }
        if (target.path.starts_with("/proc/")) {
            target.system_link = true;
            return target;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(target.path.c_str(), link.data(), link.size());
        if (length < 0) {
            return std::nullopt;
        }
        link.resize(static_cast<std::size_t>(length));
        target.path = link.starts_with('/') || detail::folder_of(target.path) == "."
                          ? link
                          : detail::folder_of(target.path) + "/" + link;
    }
    errno = ELOOP;
    return std::nullopt;
}

// A failure to make a file in a folder that writing the file in place gets round.
bool cannot_make_files_there(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

}  // namespace

FileOutcome read_text_file(const std::string& name, std::size_t largest, std::string_view kind,
                           std::string& text) {
    if (std::string problem = unusable_name(name); !problem.empty()) {
        return {false, problem};
    }
    // Non-blocking, so that a name that turns out to be a pipe cannot hold the window up.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {false, "Cannot open " + in_quotes(name) + ": " + system_error_text(errno) + "."};
    }
    const std::string too_large =
        in_quotes(name) + " is too large to be " + std::string(kind) + ".";
    text.clear();
    std::string failure;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        failure = in_quotes(name) + " is not a regular file.";
    } else if (static_cast<std::size_t>(info.st_size) > largest) {
        failure = too_large;
    } else {
        char buffer[8192];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                failure = "Cannot read " + in_quotes(name) + ": " + system_error_text(errno) + ".";
                break;
            }
            if (got == 0) {
                break;
            }
            text.append(buffer, static_cast<std::size_t>(got));
            if (text.size() > largest) {
                failure = too_large;
                break;
            }
        }
    }
    ::close(fd);
    if (!failure.empty()) {
        text.clear();
        return {false, failure};
    }
    return {true, {}};
}

namespace {

constexpr std::string_view unchanged = " The previous file is unchanged.";

// "<what> "<name>": <problem><after>", where `problem` is a sentence.
FileOutcome failed_because(std::string_view what, const std::string& name,
                           const std::string& problem, std::string_view after = {}) {
    return {false, std::string(what) + " " + in_quotes(name) + ": " + problem + std::string(after)};
}

FileOutcome failed(std::string_view what, const std::string& name, int error,
                   std::string_view after = {}) {
    return failed_because(what, name, system_error_text(error) + ".", after);
}

std::string bytes(std::uintmax_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// The largest file this program may write (RLIMIT_FSIZE), if it has such a limit.
std::optional<std::uintmax_t> file_size_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    return limit.rlim_cur;
}

// Why a write that stopped with `error` stopped, as a sentence.
std::string write_problem(int error) {
    if (const std::optional<std::uintmax_t> limit = file_size_limit(); error == EFBIG && limit) {
        return "the text is larger than the largest file this program may write (" + bytes(*limit) +
               ").";
    }
    return system_error_text(error) + ".";
}

// Why `size` bytes cannot be written over the file open in `fd`, or empty when they can: more
// than the largest file this program may write, or than the disk has room for.
std::string room_problem(int fd, std::uintmax_t size) {
    if (const std::optional<std::uintmax_t> limit = file_size_limit(); limit && size > *limit) {
        return "the new text takes " + bytes(size) +
               ", more than the largest file this program may write (" + bytes(*limit) + ").";
    }
    struct statvfs disk {};
    struct stat info {};
    if (::fstatvfs(fd, &disk) == 0 && disk.f_blocks > 0 && ::fstat(fd, &info) == 0) {
        // Root may use the blocks kept back for it; the file's own blocks are written over.
        const std::uintmax_t free_blocks = ::geteuid() == 0 ? disk.f_bfree : disk.f_bavail;
        const std::uintmax_t room =
            free_blocks * disk.f_frsize + static_cast<std::uintmax_t>(info.st_blocks) * 512;
        if (size > room) {
            return "the new text takes " + bytes(size) + ", and the disk has room for " +
                   bytes(room) + ".";
        }
    }
    return {};
}

bool read_whole(int fd, std::string& text) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

// Writes the whole text over the file open in `fd`. What could stop it part way is checked first
// (the size limit, the room on the disk, which is also taken), and the old text is kept in memory
// to be put back should a write fail all the same.
FileOutcome write_in_place(Descriptor& fd, bool readable, const std::string& name,
                           std::string_view text) {
    if (const std::string problem = room_problem(fd.get(), text.size()); !problem.empty()) {
        return failed_because("Cannot write", name, problem, unchanged);
    }
    std::string previous;
    const bool kept = readable && read_whole(fd.get(), previous);
    const auto size = static_cast<off_t>(text.size());
    // The room is taken beyond the file's end without changing its length or its text.
    if (size > 0 && ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) {
        return failed("Cannot write", name, errno, unchanged);
    }
    if (detail::write_all(fd.get(), text, 0) && ::ftruncate(fd.get(), size) == 0 &&
        ::fsync(fd.get()) == 0 && fd.close()) {
        return {true, {}};
    }
    const int error = errno;
    const bool put_back = kept && fd.get() >= 0 && detail::write_all(fd.get(), previous, 0) &&
                          ::ftruncate(fd.get(), static_cast<off_t>(previous.size())) == 0 &&
                          ::fsync(fd.get()) == 0;
    return failed_because(
        "Cannot write", name, write_problem(error),
        put_back ? " The previous text was put back." : " The file may be incomplete.");
}

// Files of /proc and /sys are the system's view of itself: a save there would rename a process
// or set a device, and no new file can be made beside them.
bool kept_by_the_system(const std::string& path) {
    struct statfs disk {};
    return ::statfs(path.c_str(), &disk) == 0 &&
           (disk.f_type == PROC_SUPER_MAGIC || disk.f_type == SYSFS_MAGIC);
}

// A failure before the target was touched: an existing file is as it was.
FileOutcome failed_untouched(const Target& target, const std::string& name, int error) {
    return failed_because(target.exists ? "Cannot write" : "Cannot create", name,
                          write_problem(error), target.exists ? unchanged : std::string_view());
}

// The files of a save under way.
struct Save {
    Descriptor existing;    // the file to replace, open for writing
    bool readable = false;  // ... and for reading, so that its text can be put back
    detail::NewFile fresh;  // unless the file is written over in place
    bool in_place = false;
};

// Opens the existing target for writing, which tells whether the user may write it. The refusal,
// if any.
std::optional<FileOutcome> open_existing(const Target& target, const std::string& name,
                                         Save& save) {
    if (kept_by_the_system(target.path)) {
        return FileOutcome{false, in_quotes(name) +
                                      " is a file the system keeps about itself (in /proc or "
                                      "/sys), not one a save can replace."};
    }
    save.existing.reset(::open(target.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    save.readable = save.existing.get() >= 0;
    if (!save.readable && errno == EACCES) {
        save.existing.reset(::open(target.path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    }
    if (save.existing.get() < 0) {
        return failed("Cannot write", name, errno, unchanged);
    }
    // Another name of the same file would keep the old text after a replacement.
    save.in_place = target.info.st_nlink > 1;
    return std::nullopt;
}

// Makes the new file beside the target, or settles for writing in place where the folder takes
// no new file or the new file could not be the old one's equal in who may do what with it. The
// refusal, if any.
std::optional<FileOutcome> make_new_file(const Target& target, const std::string& name,
                                         Save& save) {
    if (const int error = save.fresh.make(target.path, !target.exists); error != 0) {
        if (!target.exists || !cannot_make_files_there(error)) {
            return failed_untouched(target, name, error);
        }
        save.in_place = true;
    } else if (target.exists &&
               detail::carry_attributes(save.existing.get(), target.info, save.fresh.fd()) != 0) {
        save.fresh.discard();
        save.in_place = true;
    }
    return std::nullopt;
}

// Hands the pieces to the new file, which takes the target's name once complete and on disk.
FileOutcome write_through_new_file(const Target& target, const std::string& name, Save& save,
                                   const detail::Producer& produce) {
    // After a failed write the remaining pieces are let go; the failure is reported at the end.
    int error = 0;
    produce([&](std::string_view piece) {
        if (error == 0 && !detail::write_all(save.fresh.fd(), piece)) {
            error = errno;
        }
    });
    if (error == 0 && !save.fresh.give_name()) {
        error = errno;
    }
    if (error != 0) {
        save.fresh.discard();
        return failed_untouched(target, name, error);
    }
    return {true, {}};
}

}  // namespace

FileOutcome replace_file(const std::string& name, std::string_view text) {
    return replace_file_with(name, [text](const TextPieces& put) { put(text); });
}

FileOutcome write_standard_output(const std::string& name, const detail::Producer& produce) {
    detail::ignore_file_size_signal();
    return detail::write_to_descriptor(STDOUT_FILENO, name, produce);
}

FileOutcome replace_file_with(const std::string& name, const detail::Producer& produce) {
    if (std::string problem = unusable_name(name); !problem.empty()) {
        return {false, problem};
    }
    detail::ignore_file_size_signal();
    std::optional<Target> found = save_target(name);
    if (!found) {
        return failed("Cannot write", name, errno);
    }
    const Target& target = *found;
    if (target.descriptor >= 0) {
        return detail::write_to_descriptor(target.descriptor, name, produce);
    }
    if (target.system_link) {
        return {false, in_quotes(name) +
                           " is a link the system keeps in /proc, not the name of a file a save "
                           "can replace."};
    }
    if (target.path.ends_with('/') || (target.exists && S_ISDIR(target.info.st_mode))) {
        return {false, in_quotes(name) + " names a folder, not a file."};
    }
    if (target.exists && !S_ISREG(target.info.st_mode)) {
        return detail::write_to_named_stream(target.path, target.info.st_mode, name, produce);
    }
    Save save;
    if (target.exists) {
        if (std::optional<FileOutcome> refusal = open_existing(target, name, save)) {
            return *refusal;
        }
    }
    if (!save.in_place) {
        if (std::optional<FileOutcome> refusal = make_new_file(target, name, save)) {
            return *refusal;
        }
    }
    if (save.in_place) {
        std::string text;
        produce([&text](std::string_view piece) { text.append(piece); });
        return write_in_place(save.existing, save.readable, name, text);
    }
    save.existing.reset();
    return write_through_new_file(target, name, save, produce);
}

}  // namespace quobel::storage
