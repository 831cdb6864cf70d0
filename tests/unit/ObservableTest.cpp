#include <gtest/gtest.h>

#include "core/Observable.h"

namespace sayvo {
namespace {

struct Model : Observable {
    Published<int> count{*this, 0};
};

TEST(ObservableTest, SubscriptionsEndWhenDroppedFromInsideOrAfterTheObject) {
    auto token = std::make_shared<int>(0);
    Subscription outliving;
    {
        Model model;
        int a = 0, b = 0;
        Subscription subA = model.objectWillChange.subscribe([&] { ++a; });
        Subscription subB;
        subB = model.objectWillChange.subscribe([&] {
            ++b;
            subB.reset();  // from inside the signal
        });
        outliving = model.objectWillChange.subscribe([token] {});
        model.count = 1;
        subA = model.objectWillChange.subscribe([&] { a += 10; });  // ends the first
        model.count = 2;
        EXPECT_EQ(a, 11);
        EXPECT_EQ(b, 1);
        EXPECT_EQ(token.use_count(), 2);
    }
    EXPECT_EQ(token.use_count(), 1) << "the observer goes with the object";
    outliving.reset();  // and the subscription's end no longer reaches it
}

}  // namespace
}  // namespace sayvo
