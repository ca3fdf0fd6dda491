#pragma once

#include "TargetBytes.h"

#include <span>
#include <string>

// The file steps of the update. This is the only place where the engine meets
// the file system.
namespace corvane {

// True when path names a regular file (symlinks followed) that can be opened
// for reading. Never blocks: a FIFO, device, socket or folder gives false.
bool CanOpenForReading(const std::string& path);

// Reads the whole file into one buffer. Throws UpdateFailure.
TargetBytes ReadTargetBytes(const std::string& path);

// Puts bytes in the place of the file's content in one step: the new content
// is written beside the file, synced, then renamed over it, so the file holds
// either its old or its new content at every moment. Permission bits are
// kept; a symlink stays a link and the file it points to is updated. Throws
// UpdateFailure, and then the file is unchanged and nothing is left beside it.
void ReplaceFileContents(const std::string& path, std::span<const char> bytes);

} // namespace corvane
