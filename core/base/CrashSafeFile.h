#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Whole-file I/O for the program's own files in its working directory.
//
// writeFileAtomically replaces `path` so that a crash, a kill or a full disk at any moment
// leaves either the old file or the complete new one: the bytes go to a temporary file created
// exclusively under a fresh name in the same directory, are flushed and fsync'ed, the temporary
// file is renamed over `path`, and the directory is fsync'ed. A symbolic link planted at `path`
// is replaced, never followed, so whatever it points to is never written. The new file keeps
// the permission bits of the regular file it replaces. On any failure the temporary file is
// removed, the old file stays, and false is returned; a complete save also removes the
// temporary files interrupted saves of `path` left, and no other name.
bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size);
inline bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}
// The same with the permission bits `mode` (umask or not) from the moment the file is created,
// whatever the replaced file had: a file that may hold a password is never readable by others,
// not even for an instant.
bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, mode_t mode);

// Reads a regular file whole, at most `limit` bytes plus one (so an oversized file shows as
// such). False when it cannot be opened or read, or is not a regular file.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out, size_t limit);

// Writes all `size` bytes to `fd`, going on after partial writes and interruptions; false on
// the first error.
bool writeAll(int fd, const void* data, size_t size);
