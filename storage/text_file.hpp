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

// Saves `text` as the file `name`. A link is followed, so it keeps naming the file (a dangling one
// makes the file it names); a loop of links is refused. An existing file that the user may not
// write is refused, as opening it would be. Where it can, the text goes to a temporary file in
// the same folder, is flushed to disk and only then takes the target's place by a rename, so the
// previous file survives any failure, with its permissions and owner kept. Where no new file can
// be made in the folder, where the file has other names (hard links) or another owner that a
// replacement could not keep, the file is written over in place, the room for it taken first.
// Refuses an empty name and a target that is not a regular file.
FileOutcome replace_file(const std::string& name, std::string_view text);

// Receives a text piece by piece, in order.
using TextPieces = std::function<void(std::string_view)>;

// replace_file for a text too long to hold at once: `produce` hands the text, in order, to the
// function it is given. The pieces go straight to the temporary file; only where the file is
// written over in place are they gathered first. A target that cannot be written is refused
// before `produce` runs.
FileOutcome replace_file_with(const std::string& name,
                              const std::function<void(const TextPieces&)>& produce);

// Reads a whole regular file of at most `largest` bytes into `text`. A name that turns out to be
// a pipe or a device is refused without waiting on it. `kind` names what the file should be in a
// refusal ("a parameter file").
FileOutcome read_text_file(const std::string& name, std::size_t largest, std::string_view kind,
                           std::string& text);

}  // namespace quobel::storage
