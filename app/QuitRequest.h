// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The quit requests that do not come through the keyboard reader: SIGINT (Ctrl+C in the
// terminal), SIGTERM, SIGHUP and X errors. They only set a flag; the sequencer thread reads
// it once per frame and ends exactly as after Ctrl+Shift+Q, so every way of quitting runs the
// same teardown (note-offs, ports closed, the scene's Shutdown).
namespace QuitRequest {

// Installs the handlers of the three signals (a second one, once a quit was requested, ends
// the program at once), and ignores SIGXFSZ so that a write past the file-size limit fails
// with EFBIG (a failed save) instead of killing the program.
void InstallSignalHandlers();

// Async-signal-safe, any thread.
void Request();
// Any thread.
bool Requested();

}  // namespace QuitRequest
