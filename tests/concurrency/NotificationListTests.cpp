// The render-notification list under a million changes from two threads while a third applies
// them as the render thread does: it keeps working, and it holds no more nodes than the requests
// that can be outstanding at once.
#include "CAThreadSafeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Notification {
    int requester;
    int serial;
    bool operator==(const Notification&) const = default;
};

using List = TThreadSafeList<Notification>;

constexpr int kRequesters = 2;
constexpr long kChanges = 1'000'000;
constexpr long kPairsPerRequester = kChanges / 2 / kRequesters;
// A requester lets at most this many add-remove pairs wait for the render thread.
constexpr long kPairsInFlight = 1024;
constexpr std::size_t kMostRequestsOutstanding = kRequesters * kPairsInFlight * 2;

// The render thread's side: applies requests and walks the active list, counting its passes.
class Applier {
public:
    explicit Applier(List& list) : mList(list) {}

    void Run(const std::atomic<int>& requestersDone) {
        while (requestersDone.load() < kRequesters) {
            mList.update();
            std::size_t active = 0;
            for (auto it = mList.begin(); it != mList.end(); ++it) {
                ++active;
            }
            mLongestActive = std::max(mLongestActive, active);
            mPasses.fetch_add(1);
        }
    }
    // Blocks until two more passes have completed: every request made before the call has then
    // been applied.
    void AwaitAppliedSoFar() const {
        const long target = mPasses.load() + 2;
        while (mPasses.load() < target) {
            std::this_thread::yield();
        }
    }
    std::size_t LongestActive() const { return mLongestActive; }

private:
    List& mList;
    std::atomic<long> mPasses{0};
    std::size_t mLongestActive = 0;
};

TEST(NotificationListConcurrency, AMillionChangesNeedNoMoreNodesThanCanBeOutstanding) {
    List list;
    Applier applier(list);
    std::atomic<int> requestersDone{0};
    std::thread renderThread([&] { applier.Run(requestersDone); });

    std::vector<std::thread> requesters;
    for (int requester = 0; requester < kRequesters; ++requester) {
        requesters.emplace_back([&, requester] {
            // Stops early once the list holds more nodes than can ever be needed, rather than
            // walking an ever longer free stack.
            for (int serial = 0;
                 serial < kPairsPerRequester && list.NodeCount() <= kMostRequestsOutstanding;
                 ++serial) {
                list.deferred_add({requester, serial});
                list.deferred_remove({requester, serial});
                if ((serial + 1) % kPairsInFlight == 0) {
                    applier.AwaitAppliedSoFar();
                }
            }
            requestersDone.fetch_add(1);
        });
    }
    for (std::thread& requester : requesters) {
        requester.join();
    }
    renderThread.join();
    list.update();

    EXPECT_EQ(list.begin(), list.end()) << "every addition was removed again";
    EXPECT_LE(applier.LongestActive(), kMostRequestsOutstanding / 2);
    EXPECT_LE(list.NodeCount(), kMostRequestsOutstanding)
        << "nodes are allocated while free ones exist";
}

} // namespace
