// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

// Directory of the running executable with a trailing "/", from "/proc/self/exe".
// Resources live relative to it ("../share/..."). Empty when the link cannot be read.
std::string GetProgramDirectory();
