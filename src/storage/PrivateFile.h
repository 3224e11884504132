#pragma once

#include "storage/SQLiteDatabase.h" // Bytes

#include <filesystem>
#include <span>
#include <sys/types.h>

namespace velmora {

// Writes the whole file (private by default: 0600) so that a reader sees either the old file, no file, or the complete
// new one: the bytes go to a temporary file beside the target (created with `mode`), are
// flushed to disk with fsync, and are renamed over the target; the folder is synced after.
// Throws VelmoraError naming the file and the system's reason on failure; the temporary file
// is removed then and the target is untouched.
void writePrivateFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes, mode_t mode = 0600);

// Renames `from` over `to` and syncs the folder, so the new name survives a power cut.
// Throws VelmoraError naming `to` and the system's reason on failure.
void renameDurably(const std::filesystem::path& from, const std::filesystem::path& to);

// Reads a whole regular file. Throws VelmoraError naming the file and the reason on failure.
Bytes readWholeFile(const std::filesystem::path& file);

} // namespace velmora
