#include "unit/small_vector.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace modrin {
namespace {

using Vec = SmallVector<std::string, 3>;

Vec filled(int n) {
    Vec v;
    for (int i = 0; i < n; ++i) v.push_back("item number " + std::to_string(i));
    return v;
}

TEST(SmallVector, StaysInlineUpToItsCapacityThenSpills) {
    Vec v = filled(3);
    EXPECT_TRUE(v.is_inline());
    v.push_back("more");
    EXPECT_FALSE(v.is_inline());
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0], "item number 0");
    EXPECT_EQ(v[3], "more");
}

TEST(SmallVector, CopiesAndMovesKeepElementsForEverySize) {
    for (int n : {0, 1, 3, 4, 9}) {
        Vec src = filled(n);
        Vec copy = src;
        Vec assigned = filled(5);
        assigned = src;
        Vec moved = std::move(copy);
        Vec move_assigned = filled(2);
        move_assigned = std::move(assigned);
        for (const Vec *v : {&src, &moved, &move_assigned}) {
            ASSERT_EQ(v->size(), static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) EXPECT_EQ((*v)[i], "item number " + std::to_string(i));
        }
        EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
    }
}

TEST(SmallVector, EraseKeepsOrderAndDestroysTheElement) {
    auto tracker = std::make_shared<int>(0);
    SmallVector<std::shared_ptr<int>, 2> v;
    for (int i = 0; i < 4; ++i) v.push_back(i == 1 ? tracker : std::make_shared<int>(i));
    EXPECT_EQ(tracker.use_count(), 2);
    v.erase_at(1);
    EXPECT_EQ(tracker.use_count(), 1);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(*v[0], 0);
    EXPECT_EQ(*v[1], 2);
    EXPECT_EQ(*v[2], 3);
}

TEST(SmallVector, PushingAnOwnElementWhileGrowingIsSafe) {
    Vec v = filled(3);
    v.push_back(v[0]);
    EXPECT_EQ(v[3], "item number 0");
}

}  // namespace
}  // namespace modrin
