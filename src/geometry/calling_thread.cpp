// The library's work kept on the thread that called it: nothing of it is handed to the image
// library's worker threads, which would otherwise be started in the host's process and left
// spinning there after the call returns.
#include <opencv2/core/utility.hpp>

#include "geometry/geometry.h"

namespace pvk::geometry {

namespace {

class Once final : public cv::ParallelLoopBody {
 public:
  Once(int (*body)(void*), void* context) : body_(body), context_(context) {}
  void operator()(const cv::Range&) const override { result_ = body_(context_); }
  int result() const { return result_; }

 private:
  int (*body_)(void*);
  void* context_;
  mutable int result_ = 0;
};

}  // namespace

int onCallingThreadOnly(int (*body)(void*), void* context) {
  Once once(body, context);
  // A loop of one step runs on this thread, and every loop the image library starts inside a
  // loop of its own runs whole on the thread that starts it.
  cv::parallel_for_(cv::Range(0, 1), once, 1);
  return once.result();
}

}  // namespace pvk::geometry
