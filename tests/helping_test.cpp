// Whether pass one's reader helps, judged from made-up windows: idle ones
// that take half the work, busy ones that take longer than the work.

#include <gtest/gtest.h>

#include "passes/helping.h"

namespace {

constexpr std::int64_t work = 1000000;
constexpr std::int64_t idle = work / 2, slowed = work, busy = work * 2;

// Ends windows that took `wall` until the help stops; returns how many.
int stopsafter(Helping& h, std::int64_t wall)
{
    int windows = 0;
    while (h.helps() && windows < 10) {
        h.helped(wall, work);
        ++windows;
    }
    return windows;
}

// The stretch alone, in windows, before the next try.
std::uint32_t stretch(const Helping& h)
{
    EXPECT_FALSE(h.helps());
    return h.batches() / Helping::window;
}

TEST(Helping, HelpsWhileItPaysAndTriesAgainLessOften)
{
    // Without a core to spare at the start, a short window alone; then, with
    // one, help. The first window is not judged, then short windows until
    // one pays.
    Helping crowded(false);
    EXPECT_FALSE(crowded.helps());
    EXPECT_EQ(crowded.batches(), Helping::trywindow);
    Helping h(true);
    EXPECT_TRUE(h.helps());
    EXPECT_EQ(h.batches(), Helping::trywindow);
    h.helped(busy, work);
    EXPECT_EQ(h.batches(), Helping::trywindow);
    for (int i = 0; i < 100; ++i)
        h.helped(idle, work);
    EXPECT_TRUE(h.helps());
    EXPECT_EQ(h.batches(), Helping::window);
    // One window a little slow is forgiven, unless another follows; one far
    // slower ends the help at once.
    h.helped(slowed, work);
    h.helped(idle, work);
    h.helped(work * 5 / 4, work);
    EXPECT_TRUE(h.helps());
    h.helped(work * 9 / 10 + 1, work);
    EXPECT_EQ(stretch(h), 1u);
    h.alone(true);
    h.helped(busy, work); // waking the reader
    h.helped(idle, work);
    EXPECT_EQ(stopsafter(h, busy), 1);
    EXPECT_EQ(stretch(h), 1u);

    // Each try that fails makes the next stretch four times as long, up to
    // 256 windows; no try is made while no core is spare.
    for (std::uint32_t expected : {4u, 16u, 64u, 256u, 256u}) {
        for (std::uint32_t wait : {8u, 16u, 32u, 64u, 64u}) {
            h.alone(false);
            EXPECT_EQ(h.batches(), wait);
        }
        h.alone(true);
        EXPECT_EQ(h.batches(), Helping::trywindow);
        EXPECT_EQ(stopsafter(h, busy), 2);
        EXPECT_EQ(stretch(h), expected);
    }
    // A try that pays starts over.
    h.alone(true);
    h.helped(busy, work);
    h.helped(idle, work);
    EXPECT_EQ(stopsafter(h, busy), 1);
    EXPECT_EQ(stretch(h), 1u);
}

} // namespace
