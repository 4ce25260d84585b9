// Reading and safely replacing the small text files the program saves: parameter files, exports.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "storage/shown_text.hpp"

namespace quobel::storage {

// What a save or a load came to; reason says why it failed, in the user's words.
struct FileOutcome {
    bool ok = false;
    std::string reason;
};

// Saves `text` as the file `name`: the one place that says how the program replaces a file
// safely; every save goes through here.
// - The name: an empty one, one holding a NUL, one ending in "/" and a loop of links are refused.
//   A link is followed, so it keeps naming the file (a dangling one makes the file it names).
// - Streams: a name for a descriptor of this program (/dev/stdout, /dev/stderr, /dev/fd/N,
//   /proc/self/fd/N) is written to that descriptor as the shell opened it, appending where it
//   appends; a device or a pipe is opened as it is (never truncated, made or replaced; a pipe
//   nothing reads from is refused). A socket, a folder, a file of /proc or /sys and any other
//   link in /proc are refused, each saying what the name is.
// - An existing file is opened for writing first, so one the user may not write is refused as
//   opening it would be, and stays unchanged.
// - Usually: the text goes to a new file beside the target that has no name while it is written
//   (where the file system cannot, a hidden ".name.XXXXXX" that SIGINT, SIGTERM and SIGHUP
//   remove), so no way of ending the program leaves a file behind. It takes the target's owner,
//   group, access control list, user.* attributes and permissions, never setuid or setgid (a
//   new file those the umask or the folder allows); it is flushed to disk and only then named
//   over the target; the folder is flushed after. Any failure leaves the previous file unchanged.
// - In place instead, where the folder takes no new file (no permission, read-only), where the
//   file has other names (hard links) that a rename would leave on the old text, or where the
//   replacement could not be given all of the above: the file is written over where it is, its
//   permissions, owner and links kept. A text larger than the file-size limit or the room on the
//   disk is refused first; should a write still fail, the old text, kept in memory, is put back.
// SIGXFSZ is ignored where the program left it at its default, so a write beyond the size limit
// fails and is reported rather than ending the program.
FileOutcome replace_file(const std::string& name, std::string_view text);

// Receives a text piece by piece, in order.
using TextPieces = std::function<void(std::string_view)>;

// replace_file for a text too long to hold at once: `produce` hands the text, in order, to the
// function it is given. The pieces go straight to the new file or stream; only where the file is
// written over in place are they gathered first. A target that cannot be written is refused
// before `produce` runs; should `produce` throw, the new file goes and the previous file stays as
// it was.
FileOutcome replace_file_with(const std::string& name,
                              const std::function<void(const TextPieces&)>& produce);

// Hands the text to standard output as it stands (after whatever the program wrote there, in the
// mode the shell opened it), for a command line's "-"; `name` is how refusals show it.
FileOutcome write_standard_output(const std::string& name,
                                  const std::function<void(const TextPieces&)>& produce);

// Reads a whole regular file of at most `largest` bytes into `text`. A name that turns out to be
// a pipe or a device is refused without waiting on it. `kind` names what the file should be in a
// refusal ("a parameter file").
FileOutcome read_text_file(const std::string& name, std::size_t largest, std::string_view kind,
                           std::string& text);

}  // namespace quobel::storage
