#include "library_observer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <string>
#include <thread>

namespace lx2d {
namespace {

class CCountingObserver final : public ILinkObserver {
 public:
  explicit CCountingObserver(bool tracing) : tracing_(tracing) {}
  bool Tracing() const override { return tracing_; }
  void Trace(std::string_view, uint32_t) override { ++traces; }
  void LogText(uint32_t, std::string_view) override { ++texts; }
  std::atomic<int> traces{0};
  std::atomic<int> texts{0};

 private:
  bool tracing_;
};

TEST(LibraryObserver, FanOut_EachAttachedObserverOnceAndTraceOnlyToTracers) {
  CLibraryObserver fanOut;
  EXPECT_FALSE(fanOut.Tracing());
  CCountingObserver eventLog(false);
  CCountingObserver spy(true);
  EXPECT_TRUE(fanOut.Attach(&eventLog));
  EXPECT_FALSE(fanOut.Attach(&eventLog)) << "attached once only";
  EXPECT_FALSE(fanOut.Tracing());
  EXPECT_TRUE(fanOut.Attach(&spy));
  EXPECT_TRUE(fanOut.Tracing());
  fanOut.LogText(1, "text");
  fanOut.Trace("line", 0);
  EXPECT_EQ(eventLog.texts, 1);
  EXPECT_EQ(spy.texts, 1);
  EXPECT_EQ(eventLog.traces, 0);
  EXPECT_EQ(spy.traces, 1);
  fanOut.Detach(&spy);
  fanOut.Trace("line", 0);
  fanOut.LogText(1, "text");
  EXPECT_EQ(spy.traces, 1);
  EXPECT_EQ(spy.texts, 1);
  EXPECT_EQ(eventLog.texts, 2);
}

TEST(LibraryObserver, Full_AttachRefused) {
  CLibraryObserver fanOut;
  std::deque<CCountingObserver> observers;  // never moved: they are attached by address
  for (int i = 0; i <= CLibraryObserver::kMaxObservers; ++i) observers.emplace_back(false);
  for (int i = 0; i < CLibraryObserver::kMaxObservers; ++i)
    EXPECT_TRUE(fanOut.Attach(&observers[i]));
  EXPECT_FALSE(fanOut.Attach(&observers.back()));
  fanOut.Detach(&observers[0]);
  EXPECT_TRUE(fanOut.Attach(&observers.back()));
}

// Calls keep coming from another thread (the receive thread) while an
// observer is attached and detached: after Detach returns, it gets no call.
TEST(LibraryObserver, DetachWhileCalled_NoCallAfterDetachReturns) {
  CLibraryObserver fanOut;
  std::atomic<bool> running{true};
  std::thread caller([&] {
    while (running.load()) fanOut.LogText(1, "x");
  });
  for (int round = 0; round < 200; ++round) {
    CCountingObserver observer(false);
    fanOut.Attach(&observer);
    fanOut.Detach(&observer);
    const int seen = observer.texts.load();
    std::this_thread::yield();
    EXPECT_EQ(observer.texts.load(), seen);
  }
  running.store(false);
  caller.join();
}

}  // namespace
}  // namespace lx2d
