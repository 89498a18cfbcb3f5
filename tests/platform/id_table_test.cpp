#include "platform/id_table.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace korvo {
namespace {

// Random adds, sets, erases and lowerings, checked against a standard map after every step.
// Ids from a narrow range collide in the table all the time, so erasing must move the right
// entries back; a wide range makes the table grow past its first sizes.
TEST(IdTableTest, AgreesWithAStandardMapUnderRandomChanges) {
    for (const uint32_t range : {40u, 5000u, 0xFFFFFFu}) {
        std::mt19937 random(range);
        IdTable table;
        std::unordered_map<uint32_t, int> expected;
        for (int step = 0; step < 20000; ++step) {
            const uint32_t id = random() % range;
            const int value = static_cast<int>(random() % 1000);
            switch (random() % 5) {
                case 0:
                    EXPECT_EQ(table.Add(id, value), expected.emplace(id, value).second);
                    break;
                case 1:
                    table.Set(id, value);
                    expected[id] = value;
                    break;
                case 2:
                case 3:
                    table.Erase(id);
                    expected.erase(id);
                    break;
                default:
                    if (step % 50 == 0) {
                        table.LowerValuesAbove(value);
                        for (auto& entry : expected)
                            if (entry.second > value) --entry.second;
                    }
            }
            ASSERT_EQ(table.size(), expected.size()) << "range " << range << " step " << step;
            if (expected.size() > 200 && step % 97 != 0) continue;
            for (const auto& [key, v] : expected)
                ASSERT_EQ(table.Find(key), v) << "range " << range << " step " << step;
            const uint32_t probe = random() % range;
            if (!expected.count(probe)) {
                ASSERT_EQ(table.Find(probe), IdTable::kNone);
            }
        }
        table.Clear();
        EXPECT_TRUE(table.empty());
        EXPECT_EQ(table.Find(expected.empty() ? 0 : expected.begin()->first), IdTable::kNone);
    }
}

}  // namespace
}  // namespace korvo
