// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

// Replaces a file without ever leaving it half written: the content goes to a new file in the
// same directory, is flushed to the disk (fsync), and only then renamed over the old file, so
// a crash, a full disk or a write error leaves the previous version untouched. The new file
// keeps the permissions of the one it replaces (the process umask otherwise).
// A symbolic link is followed: its target gets the content and the link stays a link (songs
// kept behind links in synced folders); a link to nothing is refused.
// Returns false on any failure, after removing the temporary file; prints nothing, the caller
// names the failure in its own terms.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// The same for a file that must not exist yet: the complete content appears under `path`, or
// nothing does when anything is there already (a file, a folder, a link, even a broken one).
// The check and the creation are one step (link(2)), so no other writer can slip in between.
bool WriteNewFileAtomically(const std::string& path, const std::string& content);

// Removes the temporary files that writes of `path` left behind when they were killed before
// their rename, once they are older than `minimumAgeSeconds` (a younger one can belong to a
// write still going on in another process). Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& path, int minimumAgeSeconds);
