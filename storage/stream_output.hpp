// Writing a save's text to a stream (a descriptor, a device, a pipe) as it is open: never
// truncated, made or replaced.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "storage/text_file.hpp"

namespace quobel::storage::detail {

using Producer = std::function<void(const TextPieces&)>;

// Writes the whole text, at `offset` or, without one, where the descriptor stands. false with
// errno set.
bool write_all(int fd, std::string_view text, off_t offset = -1);

// The descriptor this program has open that `path` names (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N and the like), or -1.
int descriptor_named(const std::string& path);

// Hands the pieces to the program's open descriptor, refusing one that is not open for writing.
FileOutcome write_to_descriptor(int descriptor, const std::string& name, const Producer& produce);

// Hands the pieces to the device, pipe or socket at `path` (of file type `type`), saying what the
// name is where it takes no text.
FileOutcome write_to_named_stream(const std::string& path, mode_t type, const std::string& name,
                                  const Producer& produce);

}  // namespace quobel::storage::detail
