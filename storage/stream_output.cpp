// Writing a save's text to a stream (a descriptor, a device, a pipe) as it is open.
#include "storage/stream_output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "storage/shown_text.hpp"

namespace quobel::storage::detail {

bool write_all(int fd, std::string_view text, off_t offset) {
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

// The descriptor this program has open that `path` names (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N and the like), or -1. Opening such a name would open the file afresh, without
// the way the shell opened it (appending), so the save writes to the open descriptor itself.
int descriptor_named(const std::string& path) {
    if (path == "/dev/stdin" || path == "/dev/stdout" || path == "/dev/stderr") {
        return path == "/dev/stdin" ? 0 : path == "/dev/stdout" ? 1 : 2;
    }
    for (const std::string& folder :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
          std::string("/proc/thread-self/fd/"), "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
        if (!path.starts_with(folder)) {
            continue;
        }
        const std::string number = path.substr(folder.size());
        if (number.empty() || number.size() > 9 ||
            !std::all_of(number.begin(), number.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return -1;
        }
        return std::stoi(number);
    }
    return -1;
}

namespace {

FileOutcome failed(std::string_view what, const std::string& name, int error,
                   std::string_view after = {}) {
    return {false, std::string(what) + " " + in_quotes(name) + ": " + std::strerror(error) + "." +
                       std::string(after)};
}

// Hands the pieces to a stream as it is open: nothing is truncated, replaced or made.
FileOutcome write_stream(int fd, const std::string& name, const Producer& produce) {
    int error = 0;
    produce([&](std::string_view piece) {
        if (error == 0 && !write_all(fd, piece)) {
            error = errno;
        }
    });
    if (error != 0) {
        return failed("Cannot write", name, error, " The output may be incomplete.");
    }
    return {true, {}};
}

}  // namespace

FileOutcome write_to_descriptor(int descriptor, const std::string& name, const Producer& produce) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    const std::string stands_for =
        in_quotes(name) + " stands for descriptor " + std::to_string(descriptor);
    if (flags < 0) {
        return {false, stands_for + ", which this program does not have open."};
    }
    if ((flags & O_ACCMODE) == O_RDONLY) {
        return {false, stands_for + ", which is open for reading only."};
    }
    return write_stream(descriptor, name, produce);
}

// A device, a pipe or a socket, opened as it is: without waiting for a reader, which would hold
// a window up, and never taking over a terminal.
FileOutcome write_to_named_stream(const std::string& path, mode_t type, const std::string& name,
                                  const Producer& produce) {
    if (S_ISSOCK(type)) {
        return {false, in_quotes(name) + " is a socket, which takes no text by its name."};
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENXIO && S_ISFIFO(type)) {
            return {false, in_quotes(name) + " is a pipe that nothing reads from."};
        }
        return failed("Cannot write", name, errno);
    }
    // Once open, the stream is written as any other program would write it, waiting when full.
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    FileOutcome outcome = write_stream(fd, name, produce);
    if (::close(fd) != 0 && outcome.ok) {
        return failed("Cannot write", name, errno, " The output may be incomplete.");
    }
    return outcome;
}

}  // namespace quobel::storage::detail
