// Making the new file of a save so that no way of ending the program leaves it behind.
#include "storage/new_file.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <random>
#include <utility>

namespace quobel::storage::detail {

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

std::string file_part(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

// Fills the pattern's closing "XXXXXX" as mkstemp would.
void fill_pattern(std::string& pattern) {
    static constexpr std::string_view letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
    for (std::size_t i = pattern.size() - 6; i < pattern.size(); ++i) {
        pattern[i] = letters[pick(source)];
    }
}

mode_t new_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The named temporary file of the save under way, for the signal handler to remove. Process-wide,
// as a signal handler can reach nothing else. One name: a second save writing at the same moment
// goes unregistered, and only its file could be left by an interruption.
char pending_name[PATH_MAX + 1];
volatile std::sig_atomic_t pending = 0;
std::atomic<bool> pending_taken{false};

constexpr int interruptions[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_pending_and_end(int signal) {
    if (pending != 0) {
        ::unlink(pending_name);
    }
    // SA_RESETHAND put the default action back: the program ends as the signal would end it.
    ::raise(signal);
}

// Gives `signal` the `handler` where the program left it at its default action; a signal the
// program handles or ignores is its own business.
void replace_default_action(int signal, void (*handler)(int), int flags = 0) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
        current.sa_handler != SIG_DFL) {
        return;
    }
    struct sigaction replacement {};
    replacement.sa_handler = handler;
    sigemptyset(&replacement.sa_mask);
    replacement.sa_flags = flags;
    ::sigaction(signal, &replacement, nullptr);
}

// Removes the pending file on the interruptions that would end the program.
void watch_interruptions() {
    for (const int signal : interruptions) {
        replace_default_action(signal, remove_pending_and_end, SA_RESETHAND | SA_NODEFER);
    }
}

bool take_pending(const std::string& name) {
    if (name.size() > PATH_MAX || pending_taken.exchange(true)) {
        return false;
    }
    std::memcpy(pending_name, name.c_str(), name.size() + 1);
    pending = 1;
    return true;
}

void release_pending() {
    pending = 0;
    pending_taken = false;
}

// Holds the interruptions back while a temporary name comes or goes, so that the name and the
// registry never disagree when the handler runs.
class InterruptionsHeld {
  public:
    InterruptionsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : interruptions) {
            sigaddset(&held, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;
    ~InterruptionsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

  private:
    sigset_t previous_;
};

}  // namespace

int NewFile::make(const std::string& target, bool fresh, Naming naming) {
    discard();
    target_ = target;
    const std::string folder = folder_of(target);
    // The unnamed file is named later through /proc, so it is made only where that can be done.
    if (naming == Naming::unnamed && ::access("/proc/self/fd", X_OK) == 0) {
        fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, fresh ? 0666 : 0600);
        if (fd_ >= 0) {
            unnamed_ = true;
            return 0;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return errno;
        }
    }
    const InterruptionsHeld held;
    watch_interruptions();
    std::string name = temporary_pattern(folder, file_part(target));
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        return errno;
    }
    temporary_ = name;
    registered_ = take_pending(name);
    // mkstemp makes the file for its owner only.
    if (fresh && ::fchmod(fd_, new_file_mode()) != 0) {
        const int error = errno;
        discard();
        return error;
    }
    return 0;
}

bool NewFile::name_unnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    // A file cannot be linked over another: it takes a temporary name first, then the target's
    // by a rename. Only SIGKILL in between these two calls can leave the temporary name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporary_pattern(folder_of(target_), file_part(target_));
        fill_pattern(name);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = name;
            registered_ = take_pending(name);
            return ::rename(name.c_str(), target_.c_str()) == 0;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

bool NewFile::give_name() {
    bool named = false;
    if (fd_ < 0) {
        errno = EBADF;
    } else if (::fsync(fd_) == 0) {
        const InterruptionsHeld held;
        if (unnamed_) {
            named = name_unnamed();
        } else {
            // A failure of an earlier write that only the close reports is a failure of the save.
            const int fd = std::exchange(fd_, -1);
            named = ::close(fd) == 0 && ::rename(temporary_.c_str(), target_.c_str()) == 0;
        }
        if (named) {
            temporary_.clear();
            if (std::exchange(registered_, false)) {
                release_pending();
            }
        }
    }
    const int error = errno;
    discard();
    if (!named) {
        errno = error;
        return false;
    }
    // The new name itself lasts only once the folder is on disk.
    if (const int folder = ::open(folder_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void NewFile::discard() {
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
    if (!temporary_.empty()) {
        const InterruptionsHeld held;
        ::unlink(temporary_.c_str());
        temporary_.clear();
        if (std::exchange(registered_, false)) {
            release_pending();
        }
    }
    unnamed_ = false;
}

void ignore_file_size_signal() {
    replace_default_action(SIGXFSZ, SIG_IGN);
}

}  // namespace quobel::storage::detail
