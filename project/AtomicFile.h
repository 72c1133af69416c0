#pragma once
#include <string>

// Replaces a file without ever leaving it half written: the content goes to a new file in the
// same directory, is flushed to the disk (fsync), and only then renamed over the old file, so
// a crash, a full disk or a write error leaves the previous version untouched. The new file
// keeps the permissions of the one it replaces (the process umask otherwise).
// Returns false on any failure, after removing the temporary file; prints nothing, the caller
// names the failure in its own terms.
bool WriteFileAtomically(const std::string& path, const std::string& content);
