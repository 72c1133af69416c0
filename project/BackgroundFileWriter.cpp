// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/BackgroundFileWriter.h"

#include <filesystem>

#include "project/AtomicFile.h"

BackgroundFileWriter::BackgroundFileWriter() : thread([this] { Run(); }) {}

BackgroundFileWriter::~BackgroundFileWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  thread.join();
}

void BackgroundFileWriter::Post(std::vector<std::string> newPaths, TextMaker newMakeText, uint64_t newTag) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    paths = std::move(newPaths);
    makeText = std::move(newMakeText);
    tag = newTag;
    pending = true;
  }
  wake.notify_all();
}

void BackgroundFileWriter::Flush() {
  std::unique_lock<std::mutex> lock(mutex);
  idle.wait(lock, [this] { return !pending && !running; });
}

bool BackgroundFileWriter::Busy() {
  std::lock_guard<std::mutex> lock(mutex);
  return pending || running;
}

bool BackgroundFileWriter::TakeResult(Result& out) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!haveResult) return false;
  out = result;
  haveResult = false;
  return true;
}

std::string BackgroundFileWriter::WriteFirst(const std::vector<std::string>& paths, const std::string& text) {
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) {
      std::error_code ignored;
      std::filesystem::create_directories(std::filesystem::path(paths[i]).parent_path(), ignored);
    }
    if (WriteFileAtomically(paths[i], text)) return paths[i];
  }
  return {};
}

void BackgroundFileWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    wake.wait(lock, [this] { return stopping || pending; });
    if (!pending) return;  // stopping with nothing left to write
    std::vector<std::string> jobPaths = std::move(paths);
    TextMaker jobMakeText = std::move(makeText);
    const uint64_t jobTag = tag;
    pending = false;
    running = true;
    lock.unlock();
    std::string jobText;
    jobMakeText(jobText);
    std::string written = WriteFirst(jobPaths, jobText);
    lock.lock();
    running = false;
    result = Result{jobTag, std::move(written)};
    haveResult = true;
    idle.notify_all();
  }
}
