// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Writes files on a thread of its own, each atomically (WriteFileAtomically), so the
// sequencer thread hands over the means to make a text and never waits for the text or the disk. One job at a time: a
// job posted while another waits replaces it (the newer text is the one worth keeping).
//
// Threads: Post, Flush, TakeResult and the destructor from one owner thread (the
// sequencer thread, or the main thread while that one is not running).
class BackgroundFileWriter {
 public:
  struct Result {
    uint64_t tag = 0;
    std::string path;  // the path written; empty when every path failed
  };

  BackgroundFileWriter();
  ~BackgroundFileWriter();
  BackgroundFileWriter(const BackgroundFileWriter&) = delete;
  BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

  // Makes the text with `makeText` (on the writer's thread) and writes it to the first of
  // `paths` that works (creating missing folders of the later ones), reporting `tag` with the
  // result.
  using TextMaker = std::function<void(std::string&)>;
  void Post(std::vector<std::string> paths, TextMaker makeText, uint64_t tag);
  // Waits until no job is queued or running.
  void Flush();
  // The result of a finished job not taken before; false when there is none.
  bool TakeResult(Result& out);
  bool Busy();

  // The same writing, on the calling thread: the path written, or empty.
  static std::string WriteFirst(const std::vector<std::string>& paths, const std::string& text);

 private:
  void Run();

  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable idle;
  bool stopping = false;
  bool pending = false;
  bool running = false;
  bool haveResult = false;
  std::vector<std::string> paths;
  TextMaker makeText;
  uint64_t tag = 0;
  Result result;
  std::thread thread;  // last: started when everything above exists
};
