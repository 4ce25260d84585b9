// The new file a save writes: made beside the file it replaces and given a name only when complete.
#pragma once

#include <string>

namespace quobel::storage::detail {

// How the new file is made. Unnamed where the file system can: however the program ends, even
// killed, no file is left. Otherwise under a hidden temporary name, removed again should the
// program be interrupted (SIGINT, SIGTERM, SIGHUP) before the file has its name.
enum class Naming { unnamed, temporary_name };

// The folder part of a path: "." for a bare name, "/" for a name at the root.
std::string folder_of(const std::string& path);

class NewFile {
  public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() { discard(); }  // an unfinished file goes

    // Makes the file in the folder of `target`, open for writing. `fresh` when it is to be a new
    // file: it then gets the permissions any new file there would; otherwise the owner's only,
    // until the caller gives it the replaced file's. 0, or the system's error.
    int make(const std::string& target, bool fresh, Naming naming = Naming::unnamed);
    int fd() const { return fd_; }
    bool unnamed() const { return unnamed_; }

    // Flushes the complete file to disk and gives it the name it was made for, replacing the file
    // there; the folder is flushed after. false with errno set; the new file is gone.
    bool give_name();
    void discard();

  private:
    bool name_unnamed();

    int fd_ = -1;
    bool unnamed_ = false;
    bool registered_ = false;  // the temporary name is the one an interruption removes
    std::string target_;
    std::string temporary_;  // the name a named temporary has now
};

// Ignores SIGXFSZ where the program left it at its default, so that a write beyond the largest
// file the program may write fails with EFBIG and can be reported, instead of ending the program.
void ignore_file_size_signal();

}  // namespace quobel::storage::detail
