#pragma once
#include <string>

// What is found where the project file should be. Only a missing file may be replaced by an
// empty project: a file that exists but cannot be read (another user's, a directory, a FIFO,
// a device, a link to nothing) holds someone's work or is not a project at all.
enum class ProjectFileState { kMissing, kReadable, kUnusable };

// Never blocks: the file is opened without waiting (a FIFO would block a plain open) and
// refused unless it is a regular file. `reason` says what is wrong for kUnusable.
ProjectFileState CheckProjectFile(const std::string& path, std::string& reason);

// Start-up: checks the project file (an unusable one is reported with an "error: " line and
// false) and removes the temporary files that killed saves of it left. `exists` tells
// whether there is a project to load.
bool OpenProjectFileAtStart(const std::string& path, bool& exists);
