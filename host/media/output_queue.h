// Frames rendered on several threads at once, written in frame order on a thread of its own while
// later frames render.
//
// Frames are handed over in any order; a frame far ahead of the next one to write waits (so a
// slow encoder bounds the frames held in memory), but the next one to write never does, so the
// render cannot deadlock. Stills need no order: Submit writes them on the calling thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "layers/image.h"
#include "media/output_writer.h"

namespace lwhost {

struct RenderedFrame {
  Image image;
  int32_t originX = 0;  // the layer's origin in the image
  int32_t originY = 0;
  int32_t layerWidth = 0;
  int32_t layerHeight = 0;
};

class OrderedOutput {
 public:
  // Frames firstFrame, firstFrame + 1, ... go to `writer`; at most `window` frames past the next
  // one to write are held.
  OrderedOutput(OutputWriter& writer, int64_t firstFrame, int64_t window);
  // Stops the writing thread; frames not yet written are dropped.
  ~OrderedOutput();
  OrderedOutput(const OrderedOutput&) = delete;
  OrderedOutput& operator=(const OrderedOutput&) = delete;

  // Hands over `frame`. False when writing has failed (the error is kept; render no more).
  bool Submit(int64_t frame, RenderedFrame rendered);
  // Waits until every frame before `end` is written (they must all have been submitted), then
  // stops the thread. Returns the first write error, if any.
  std::optional<std::string> Drain(int64_t end);
  // Stops at once: frames waiting are dropped and no more are written; a Submit waiting returns.
  // For a render that will not hand over every frame (a frame failed, an interrupt). Any thread.
  void Cancel();
  // Cancel, then waits for the writing thread to end.
  void Stop();

  std::optional<std::string> Error() const;

 private:
  void WriteInOrder();
  void WriteNow(int64_t frame, const RenderedFrame& rendered);

  OutputWriter& writer_;
  const int64_t window_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int64_t, RenderedFrame> waiting_;
  int64_t next_;          // the next frame to write
  int64_t end_ = -1;      // Drain's end, -1 until then
  bool stopped_ = false;  // Stop or the end reached
  std::optional<std::string> error_;
  std::thread thread_;  // only for a sequential writer
};

}  // namespace lwhost
