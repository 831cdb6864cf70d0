#include <gtest/gtest.h>

#include "core/Observable.h"

namespace sayvo {
namespace {

struct Model : Observable {
    Published<int> count{*this, 0};
};

TEST(Observable, SignalFiresBeforeEveryStoreEqualValuesIncluded) {
    Model model;
    std::vector<int> seenBefore;
    auto sub = model.objectWillChange.subscribe([&] { seenBefore.push_back(model.count); });
    model.count = 1;
    model.count = 1;
    model.count = 2;
    EXPECT_EQ(seenBefore, (std::vector<int>{0, 1, 1}));
}

TEST(Observable, PropertyStreamCarriesTheStoredValue) {
    Model model;
    std::vector<int> values;
    auto sub = model.count.values.subscribe([&](int v) { values.push_back(v); });
    model.count = 7;
    EXPECT_EQ(values, std::vector<int>{7});
}

TEST(Observable, DroppedOrSelfRemovingSubscriptionsStopReceiving) {
    Model model;
    int a = 0, b = 0;
    Subscription subA = model.objectWillChange.subscribe([&] { ++a; });
    Subscription subB;
    subB = model.objectWillChange.subscribe([&] {
        ++b;
        subB.reset();  // unsubscribing from inside the signal is safe
    });
    model.count = 1;
    subA.reset();
    model.count = 2;
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
}

TEST(Observable, SubscriptionMayOutliveTheObject) {
    Subscription sub;
    {
        Model model;
        sub = model.objectWillChange.subscribe([] {});
    }
    sub.reset();  // must not touch the destroyed signal
    SUCCEED();
}

}  // namespace
}  // namespace sayvo
