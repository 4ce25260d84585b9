// Reading and safely replacing small text files.
#include "storage/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quobel::storage {

namespace fs = std::filesystem;

std::string in_quotes(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

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

bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t wrote = ::write(fd, text.data(), text.size());
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
    }
    return true;
}

mode_t new_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
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

FileOutcome replace_file(const std::string& name, std::string_view text) {
    if (std::string problem = unusable_name(name); !problem.empty()) {
        return {false, problem};
    }
    std::error_code error;
    fs::path target = name;
    // Through a link the file it names is replaced, so the link keeps working.
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        const fs::path resolved = fs::weakly_canonical(target, error);
        if (!error) {
            target = resolved;
        }
    }
    const fs::file_status status = fs::status(target, error);
    // mkstemp creates the file for its owner only: keep the permissions of the file replaced, or
    // give a new file those of any new file.
    mode_t mode = new_file_mode();
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status)) {
            return {false, in_quotes(name) + " exists and is not a regular file."};
        }
        mode = static_cast<mode_t>(status.permissions() & fs::perms::mask);
    }
    if (target.filename().empty()) {
        return {false, in_quotes(name) + " names a folder, not a file."};
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return {false, "Cannot create a file in " + in_quotes(folder.string()) + ": " +
                           system_error_text(errno) + "."};
    }
    bool written = write_all(fd, text);
    int error_number = written ? 0 : errno;
    if (written && (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)) {
        written = false;
        error_number = errno;
    }
    if (::close(fd) != 0 && written) {
        written = false;
        error_number = errno;
    }
    if (written && ::rename(temporary.c_str(), target.c_str()) != 0) {
        written = false;
        error_number = errno;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return {false, "Cannot write " + in_quotes(name) + ": " + system_error_text(error_number) +
                           ". The previous file is unchanged."};
    }
    return {true, {}};
}

}  // namespace quobel::storage
