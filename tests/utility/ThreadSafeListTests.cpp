#include "CAThreadSafeList.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

struct Notification {
    int function;
    int userData;
    bool operator==(const Notification&) const = default;
};

using List = TThreadSafeList<Notification>;

std::vector<int> ActiveFunctions(const List& list) {
    std::vector<int> functions;
    for (auto it = list.begin(); it != list.end(); ++it) {
        functions.push_back((*it).function);
    }
    return functions;
}

TEST(ThreadSafeList, RequestsApplyInTheOrderTheyWereMade) {
    // n > 0 adds function n, n < 0 removes function -n.
    const std::pair<std::vector<int>, std::vector<int>> requestsAndActive[] = {
        {{1, 2, 3}, {1, 2, 3}},  {{1, 1}, {1}},     {{1, 1, -1}, {}},
        {{1, 2, 3, -2}, {1, 3}}, {{1, -1, 1}, {1}}, {{-4, 1, -4}, {1}},
        {{1, 2, -1, 1}, {2, 1}},
    };
    for (const auto& [requests, active] : requestsAndActive) {
        List list;
        for (int n : requests) {
            n > 0 ? list.deferred_add({n, 0}) : list.deferred_remove({-n, 0});
        }
        EXPECT_TRUE(ActiveFunctions(list).empty()) << "nothing applies before update";
        list.update();
        EXPECT_EQ(ActiveFunctions(list), active);
    }
}

TEST(ThreadSafeList, NodesAreReusedAcrossCycles) {
    List list;
    std::set<const void*> nodesSeen;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        list.deferred_add({cycle, 0});
        list.update();
        nodesSeen.insert(&*list.begin());
        list.deferred_remove({cycle, 0});
        list.update();
    }
    EXPECT_LE(nodesSeen.size(), 2u);
}

} // namespace
