#include "shell/tray_animation.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvo {
namespace {

class RecordingTray : public TrayView {
  public:
    void ShowImage(int image, std::string_view tip) override {
        images.push_back(image);
        tips.emplace_back(tip);
    }
    void Remove() override { ++removed; }
    std::vector<int> images;
    std::vector<std::string> tips;
    int removed = 0;
};

std::vector<int> Ticks(CTrayAnimation& tray, RecordingTray& view, int count) {
    view.images.clear();
    for (int i = 0; i < count; ++i) tray.Tick();
    return view.images;
}

TEST(TrayAnimationTest, EachStateShowsItsImagesInTurn) {
    const std::vector<std::vector<int>> expected = {
        {16}, {0, 1, 2, 3},         {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15},
        {0},  {25, 26, 27, 28, 29},
    };
    for (int state = 0; state < kTrayStateCount; ++state) {
        RecordingTray view;
        CTrayAnimation tray(view);
        tray.SetState(state);
        const std::vector<int>& images = expected[state];
        std::vector<int> twice = images;
        twice.insert(twice.end(), images.begin(), images.end());
        EXPECT_EQ(Ticks(tray, view, static_cast<int>(twice.size())), twice) << state;
        EXPECT_EQ(view.tips.back(), "Korvo");
    }
    RecordingTray view;
    CTrayAnimation tray(view);
    EXPECT_EQ(tray.state(), 0);
    EXPECT_TRUE(TraySequence(7).empty());
}

TEST(TrayAnimationTest, UnchangedImageIsHandedOverFiveMoreTimesOnly) {
    RecordingTray view;
    CTrayAnimation tray(view);
    // The first showing and five unchanged updates; then the desktop is left alone.
    EXPECT_EQ(Ticks(tray, view, 20), std::vector<int>(6, 16));

    // A new image resets the count: state 5 is one image too.
    tray.SetState(5);
    EXPECT_EQ(Ticks(tray, view, 10), std::vector<int>(6, 0));
    tray.SetState(6);
    EXPECT_EQ(Ticks(tray, view, 6), (std::vector<int>{25, 26, 27, 28, 29, 25}));
    tray.SetState(0);
    EXPECT_EQ(Ticks(tray, view, 9).size(), 6u);

    // State 1 starts on image 0, which state 5 showed last: still a repeat, and counted so.
    tray.SetState(5);
    Ticks(tray, view, 10);
    tray.SetState(1);
    EXPECT_EQ(Ticks(tray, view, 5), (std::vector<int>{1, 2, 3, 0}));
}

TEST(TrayAnimationTest, SettingAStateRestartsOnlyWhenItChanges) {
    RecordingTray view;
    CTrayAnimation tray(view);
    tray.SetState(2);
    EXPECT_EQ(Ticks(tray, view, 2), (std::vector<int>{4, 5}));
    tray.SetState(2);  // the running state: nothing changes
    EXPECT_EQ(Ticks(tray, view, 1), (std::vector<int>{6}));
    tray.SetState(3);
    tray.SetState(2);  // back again: from the start
    EXPECT_EQ(Ticks(tray, view, 2), (std::vector<int>{4, 5}));
    for (int bad : {-1, 7, 100}) tray.SetState(bad);
    EXPECT_EQ(tray.state(), 2);
    EXPECT_EQ(Ticks(tray, view, 1), (std::vector<int>{6}));

    // After the icon was removed the next tick puts it back even if the image is the same.
    tray.SetState(0);
    Ticks(tray, view, 10);
    tray.Remove();
    EXPECT_EQ(view.removed, 1);
    EXPECT_EQ(Ticks(tray, view, 1), (std::vector<int>{16}));
}

}  // namespace
}  // namespace korvo
