// Reading and saving small text files.
#include "storage/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

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

bool write_all(int fd, std::string_view text, off_t offset = -1) {
    while (!text.empty()) {
        const ssize_t wrote = offset < 0 ? ::write(fd, text.data(), text.size())
                                         : ::pwrite(fd, text.data(), text.size(), offset);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote == 0) {
            errno = EIO;  // a write that takes nothing would otherwise leave a stale reason
        }
        if (wrote <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(wrote));
        if (offset >= 0) {
            offset += wrote;
        }
    }
    return true;
}

mode_t new_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
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

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string file_part(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path a save writes to: `name`, or through links the file that the last of them names.
// Empty with errno set on a loop (ELOOP, as the system reports it) or a failure to read a link.
struct Target {
    std::string path;
    bool exists = false;
    struct stat info {};
};

std::optional<Target> save_target(const std::string& name) {
    Target target{name};
    // As many links as the system follows itself before it reports a loop.
    for (int links = 0; links <= 40; ++links) {
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
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(target.path.c_str(), link.data(), link.size());
        if (length < 0) {
            return std::nullopt;
        }
        link.resize(static_cast<std::size_t>(length));
        target.path = link.starts_with('/') || folder_of(target.path) == "."
                          ? link
                          : folder_of(target.path) + "/" + link;
    }
    errno = ELOOP;
    return std::nullopt;
}

// A temporary name in `folder` that fits the folder's longest name, whatever the target's length:
// a dot, as much of the target's name as fits, and six random characters.
std::string temporary_pattern(const std::string& folder, const std::string& file) {
    long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (longest <= 0) {
        longest = NAME_MAX;
    }
    constexpr std::size_t added = 8;  // ".", "." and "XXXXXX" around the kept part
    std::size_t keep = static_cast<std::size_t>(longest) > added + 1
                           ? std::min(file.size(), static_cast<std::size_t>(longest) - added)
                           : 0;
    // Never a part of a character: a stray file should still show a readable name.
    while (keep > 0 && keep < file.size() &&
           (static_cast<unsigned char>(file[keep]) & 0xc0) == 0x80) {
        --keep;
    }
    return (folder == "/" ? "" : folder) + "/." + file.substr(0, keep) + ".XXXXXX";
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

FileOutcome failed(std::string_view what, const std::string& name, int error,
                   std::string_view after = {}) {
    return {false, std::string(what) + " " + in_quotes(name) + ": " + system_error_text(error) +
                       "." + std::string(after)};
}

// Writes the whole text over the file open in `fd`. Room for the new text is taken first, so a
// full disk leaves the file as it was; only a failure after that can leave it incomplete.
FileOutcome write_in_place(Descriptor& fd, const std::string& name, std::string_view text) {
    const auto size = static_cast<off_t>(text.size());
    // The room is taken beyond the file's end without changing its length or its text.
    if (size > 0 && ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) {
        return failed("Cannot write", name, errno, unchanged);
    }
    if (!write_all(fd.get(), text, 0) || ::ftruncate(fd.get(), size) != 0 ||
        ::fsync(fd.get()) != 0 || !fd.close()) {
        return failed("Cannot write", name, errno, " The file may be incomplete.");
    }
    return {true, {}};
}

// A failure before the target was touched: an existing file is as it was.
FileOutcome failed_untouched(const Target& target, const std::string& name, int error) {
    return failed(target.exists ? "Cannot write" : "Cannot create", name, error,
                  target.exists ? unchanged : std::string_view());
}

// The files of a save under way.
struct Save {
    Descriptor existing;  // the file to replace, open for writing
    Descriptor fresh;     // the temporary file, unless the file is written over in place
    std::string temporary;
    mode_t mode = new_file_mode();  // the permissions the saved file gets
    bool in_place = false;
};

// Opens the existing target for writing, which tells whether the user may write it, and takes
// over its permissions. The refusal, if any.
std::optional<FileOutcome> open_existing(const Target& target, const std::string& name,
                                         Save& save) {
    if (S_ISDIR(target.info.st_mode)) {
        return FileOutcome{false, in_quotes(name) + " names a folder, not a file."};
    }
    if (!S_ISREG(target.info.st_mode)) {
        return FileOutcome{false, in_quotes(name) + " exists and is not a regular file."};
    }
    save.existing.reset(::open(target.path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (save.existing.get() < 0) {
        return failed("Cannot write", name, errno, unchanged);
    }
    save.mode = target.info.st_mode & 07777;
    // Another name of the same file would keep the old text after a replacement.
    save.in_place = target.info.st_nlink > 1;
    return std::nullopt;
}

// Makes the temporary file beside the target, or settles for writing in place where the folder
// takes no new file or the replacement could not keep the file's owner. The refusal, if any.
std::optional<FileOutcome> make_temporary(const Target& target, const std::string& name,
                                          Save& save) {
    save.temporary = temporary_pattern(folder_of(target.path), file_part(target.path));
    save.fresh.reset(::mkostemp(save.temporary.data(), O_CLOEXEC));
    if (save.fresh.get() < 0) {
        const int error = errno;
        if (!target.exists || !cannot_make_files_there(error)) {
            return failed_untouched(target, name, error);
        }
        save.in_place = true;
    } else if (target.exists &&
               (target.info.st_uid != ::geteuid() || target.info.st_gid != ::getegid()) &&
               ::fchown(save.fresh.get(), target.info.st_uid, target.info.st_gid) != 0) {
        // A replacement would belong to this user, and the file's owner could lose it.
        save.fresh.reset();
        ::unlink(save.temporary.c_str());
        save.in_place = true;
    }
    return std::nullopt;
}

// Hands the pieces to the temporary file, flushes it to disk and renames it over the target.
FileOutcome write_through_temporary(const Target& target, const std::string& name, Save& save,
                                    const std::function<void(const TextPieces&)>& produce) {
    // After a failed write the remaining pieces are let go; the failure is reported at the end.
    int error = 0;
    try {
        produce([&](std::string_view piece) {
            if (error == 0 && !write_all(save.fresh.get(), piece)) {
                error = errno;
            }
        });
    } catch (...) {
        save.fresh.reset();
        ::unlink(save.temporary.c_str());
        throw;
    }
    // mkstemp makes the file for its owner only: it takes the replaced file's permissions, or
    // those of any new file.
    if (error == 0 &&
        (::fchmod(save.fresh.get(), save.mode) != 0 || ::fsync(save.fresh.get()) != 0 ||
         !save.fresh.close() || ::rename(save.temporary.c_str(), target.path.c_str()) != 0)) {
        error = errno;
    }
    if (error != 0) {
        save.fresh.reset();
        ::unlink(save.temporary.c_str());
        return failed_untouched(target, name, error);
    }
    // The rename itself lasts only once the folder is on disk.
    if (Descriptor directory(
            ::open(folder_of(target.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        directory.get() >= 0) {
        ::fsync(directory.get());
    }
    return {true, {}};
}

}  // namespace

FileOutcome replace_file(const std::string& name, std::string_view text) {
    return replace_file_with(name, [text](const TextPieces& put) { put(text); });
}

FileOutcome replace_file_with(const std::string& name,
                              const std::function<void(const TextPieces&)>& produce) {
    if (std::string problem = unusable_name(name); !problem.empty()) {
        return {false, problem};
    }
    std::optional<Target> found = save_target(name);
    if (!found) {
        return failed("Cannot write", name, errno);
    }
    const Target& target = *found;
    if (target.path.ends_with('/')) {
        return {false, in_quotes(name) + " names a folder, not a file."};
    }
    Save save;
    if (target.exists) {
        if (std::optional<FileOutcome> refusal = open_existing(target, name, save)) {
            return *refusal;
        }
    }
    if (!save.in_place) {
        if (std::optional<FileOutcome> refusal = make_temporary(target, name, save)) {
            return *refusal;
        }
    }
    if (save.in_place) {
        std::string text;
        produce([&text](std::string_view piece) { text.append(piece); });
        return write_in_place(save.existing, name, text);
    }
    save.existing.reset();
    return write_through_temporary(target, name, save, produce);
}

}  // namespace quobel::storage
