// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace zs::test {

// Polls `condition` until it holds or the deadline passes; its last result.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline,
               std::chrono::milliseconds every = std::chrono::milliseconds(50));

// For what a loaded JACK server may drop.
bool Retry(int times, const std::function<bool()>& attempt);

// A forked child running a program (looked up in PATH) or a function returning the exit code, in
// `dir` (unless empty), output and errors to `log` (or /dev/null); killed at destruction.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& dir = "", const std::string& log = "");
  ChildProcess(const std::function<int()>& body, const std::string& dir, const std::string& log);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid; }
  // The exit status (128 + signal when killed), or -1 when it is still running at the timeout.
  int Wait(std::chrono::milliseconds timeout = std::chrono::hours(1));
  bool Exited();
  void Signal(int signal) const;

 private:
  pid_t pid = -1;
  int status = -1;
};

// A JACK dummy server (44.1 kHz, 128 frames) of its own, the process's default while it lives.
// Stopped with SIGTERM: a killed jackd keeps its slot in JACK's registry of eight.
class OwnJackServer {
 public:
  OwnJackServer(const std::string& name, bool realtime);
  ~OwnJackServer();
  bool Running() const;
  void Stop();

 private:
  std::string name, previous;
  ChildProcess jackd;
};

}  // namespace zs::test
