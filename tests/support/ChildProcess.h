// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace zs::test {

// Polls `condition` every `every` until it holds or the deadline passes; its last result.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline,
               std::chrono::milliseconds every = std::chrono::milliseconds(50));

// Tries `attempt` up to `times` times until it succeeds: for what a loaded JACK server may drop.
bool Retry(int times, const std::function<bool()>& attempt);

// A forked child: either a program (argv[0] looked up in PATH) or a function whose return value
// is the exit code. It runs in `dir` (unless empty) with standard output and error going to
// `log` (to /dev/null when empty). One still running at destruction is killed.
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

// A JACK dummy server (44.1 kHz, 128 frames) under a name of its own: the default server of this
// process while it lives. Stopped with SIGTERM: a killed jackd keeps its slot in the machine's
// JACK registry, and after a few of them no server starts any more.
class OwnJackServer {
 public:
  OwnJackServer(const std::string& name, bool realtime);
  ~OwnJackServer();
  bool Running() const;
  // Ends the server now (the test's environment keeps pointing at it until destruction).
  void Stop();

 private:
  std::string name, previous;
  ChildProcess jackd;
};

}  // namespace zs::test
