#pragma once

#include "storage/SQLiteDatabase.h" // Bytes

#include <filesystem>
#include <span>
#include <string>
#include <sys/types.h>

namespace velmora {

// Writes the whole file (private by default: 0600) so that a reader sees either the old file, no file, or the complete
// new one: the bytes go to a temporary file beside the target (created with `mode`), are
// flushed to disk with fsync, and are renamed over the target; the folder is synced after.
// Throws VelmoraError naming the file and the system's reason on failure; the temporary file
// is removed then and the target is untouched.
void writePrivateFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes, mode_t mode = 0600);

// Creates `target` with `bytes` (written and flushed under a temporary name first) only when
// no file of that name exists; never replaces one. Answers false when one existed, in which case
// that file is left exactly as it was. Throws VelmoraError on a write failure.
bool createPrivateFileExclusively(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                                  mode_t mode = 0600);

// Renames `file` to `file` + `suffix` (then `-1`, `-2`, ... when taken), never over an existing
// file, and answers the new path. Throws VelmoraError when it cannot.
std::filesystem::path moveAsideWithoutReplacing(const std::filesystem::path& file, const std::string& suffix);

// Deletes the temporary files that writes into `folder` leave when the process dies before
// moving them into place. Only safe while no other process writes there (the data-folder lock).
// Answers how many were removed.
size_t removeInterruptedWrites(const std::filesystem::path& folder);

// Renames `from` over `to` and syncs the folder, so the new name survives a power cut.
// Throws VelmoraError naming `to` and the system's reason on failure.
void renameDurably(const std::filesystem::path& from, const std::filesystem::path& to);

// Reads a whole regular file. Throws VelmoraError naming the file and the reason on failure.
Bytes readWholeFile(const std::filesystem::path& file);

} // namespace velmora
