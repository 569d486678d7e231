#include "common/resolve.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "common/clock.h"
#include "gtest/gtest.h"

namespace {

// A resolver that answers from a table only once released, counting its
// calls and its finished lookups; it outlives every lookup thread.
struct TGatedResolver {
  std::mutex mutex;
  std::condition_variable released_cv;
  bool released = false;
  std::atomic<int> calls{0};
  std::atomic<int> finished{0};

  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    released_cv.notify_all();
  }
  bool WaitFinished(int count, int timeout_ms) {
    const int64_t deadline = NowMs() + timeout_ms;
    while (finished < count && NowMs() < deadline) SleepMs(5);
    return finished >= count;
  }
};

TBlockingResolver Gated(const std::shared_ptr<TGatedResolver>& gate, bool open) {
  if (open) gate->Release();
  return [gate](const std::string& host) {
    ++gate->calls;
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->released_cv.wait(lock, [&] { return gate->released; });
    ++gate->finished;
    return host == "master.lan" ? std::string("10.0.0.8") : std::string();
  };
}

TEST(NameLookup, AnswersAndTheirResults) {
  struct Case {
    const char* host;
    bool resolver_open;
    int wait_ms;
    TResolveResult expected;
    const char* address;
    int resolver_calls;
  } cases[] = {
      {"localhost", false, 0, TResolveResult::kResolved, "127.0.0.1", 0},
      {"LocalHost", false, 0, TResolveResult::kResolved, "127.0.0.1", 0},
      {"10.1.2.3", false, 0, TResolveResult::kResolved, "10.1.2.3", 0},
      {"", false, 0, TResolveResult::kUnknown, "", 0},
      {"master.lan", true, 5000, TResolveResult::kResolved, "10.0.0.8", 1},
      {"gone.lan", true, 5000, TResolveResult::kUnknown, "", 1},
      {"silent.lan", false, 150, TResolveResult::kNoAnswer, "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    auto gate = std::make_shared<TGatedResolver>();
    std::string dotted;
    const int64_t start = NowMs();
    EXPECT_EQ(c.expected,
              ResolveIPv4Within(c.host, c.wait_ms, &dotted, -1, Gated(gate, c.resolver_open)));
    EXPECT_LT(NowMs() - start, c.wait_ms + 1000);
    EXPECT_EQ(c.address, dotted);
    // The abandoned lookup ends once its resolver answers, and its late
    // answer lands in nothing freed.
    gate->Release();
    EXPECT_TRUE(gate->WaitFinished(c.resolver_calls, 5000));
    EXPECT_EQ(c.resolver_calls, gate->calls.load());
  }
}

TEST(NameLookup, PollSeesTheAnswerOnceItArrives) {
  auto gate = std::make_shared<TGatedResolver>();
  TNameLookup lookup("master.lan", Gated(gate, false));
  EXPECT_EQ(TResolveResult::kPending, lookup.Poll());
  EXPECT_EQ("", lookup.Address());
  gate->Release();
  EXPECT_EQ(TResolveResult::kResolved, lookup.Wait(NowMs() + 5000));
  EXPECT_EQ("10.0.0.8", lookup.Address());
  EXPECT_EQ(TResolveResult::kResolved, lookup.Poll());
}

TEST(NameLookup, WakeDescriptorEndsTheWaitAtOnce) {
  auto gate = std::make_shared<TGatedResolver>();
  int wake[2];
  ASSERT_EQ(0, pipe(wake));
  ASSERT_EQ(1, write(wake[1], "x", 1));
  std::string dotted;
  const int64_t start = NowMs();
  EXPECT_EQ(TResolveResult::kInterrupted,
            ResolveIPv4Within("silent.lan", 10000, &dotted, wake[0], Gated(gate, false)));
  EXPECT_LT(NowMs() - start, 1000);
  gate->Release();
  EXPECT_TRUE(gate->WaitFinished(1, 5000));
  close(wake[0]);
  close(wake[1]);
}

TEST(NameLookup, ManySilentLookupsShareOneDeadline) {
  auto gate = std::make_shared<TGatedResolver>();
  const TBlockingResolver resolver = Gated(gate, false);
  {
    std::vector<std::unique_ptr<TNameLookup>> lookups;
    for (int i = 0; i < 20; ++i)
      lookups.push_back(std::make_unique<TNameLookup>("m.lan", resolver));
    const int64_t start = NowMs();
    const int64_t deadline = start + 200;
    for (auto& lookup : lookups) EXPECT_EQ(TResolveResult::kNoAnswer, lookup->Wait(deadline));
    EXPECT_LT(NowMs() - start, 1200);
  }
  gate->Release();
  EXPECT_TRUE(gate->WaitFinished(20, 5000));
}

}  // namespace
