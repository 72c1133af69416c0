// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/ChildProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/TestServers.h"

namespace zs::test {

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline,
               std::chrono::milliseconds every) {
  const auto end = Clock::now() + deadline;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(every);
  }
}

bool Retry(int times, const std::function<bool()>& attempt) {
  for (int i = 0; i < times; ++i) {
    if (attempt()) return true;
  }
  return false;
}

ChildProcess::ChildProcess(const std::function<int()>& body, const std::string& dir, const std::string& log) {
  std::fflush(nullptr);
  pid = fork();
  if (pid != 0) return;
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
  if (!std::freopen(log.empty() ? "/dev/null" : log.c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0) _exit(126);
  const int code = body();
  std::fflush(nullptr);
  _exit(code);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& dir, const std::string& log)
    : ChildProcess(
          [&argv] {
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            return 127;
          },
          dir, log) {}

ChildProcess::~ChildProcess() {
  if (!Exited()) {
    Signal(SIGKILL);
    Wait();
  }
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  WaitUntil([this] { return Exited(); }, timeout, std::chrono::milliseconds(10));
  return status;
}

bool ChildProcess::Exited() {
  int raw = 0;
  if (pid > 0 && status < 0 && waitpid(pid, &raw, WNOHANG) == pid) {
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }
  return pid <= 0 || status >= 0;
}

void ChildProcess::Signal(int signal) const {
  if (pid > 0 && status < 0) kill(pid, signal);
}

namespace {

std::string SetDefaultServer(const std::string& name) {
  const char* shared = std::getenv("JACK_DEFAULT_SERVER");
  std::string previous = shared ? shared : "";
  setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  return previous;
}

}  // namespace

OwnJackServer::OwnJackServer(const std::string& name, bool realtime)
    : name(name),
      previous(SetDefaultServer(name)),
      jackd({"jackd", realtime ? "-R" : "--no-realtime", "-d", "dummy", "-r", "44100", "-p", "128"}) {
  WaitUntil([this] { return Running(); }, std::chrono::seconds(10));
}

OwnJackServer::~OwnJackServer() {
  Stop();
  if (previous.empty()) unsetenv("JACK_DEFAULT_SERVER");
  else setenv("JACK_DEFAULT_SERVER", previous.c_str(), 1);
  // Clients that outlived a stopped server could not remove their semaphores.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
    if (entry.path().filename().string().find("_" + name + "_") != std::string::npos) {
      std::filesystem::remove(entry.path(), error);
    }
  }
}

bool OwnJackServer::Running() const { return !Shell("JACK_NO_START_SERVER=1 jack_lsp 2>/dev/null").empty(); }

void OwnJackServer::Stop() {
  jackd.Signal(SIGTERM);
  jackd.Wait(std::chrono::seconds(20));
}

}  // namespace zs::test
