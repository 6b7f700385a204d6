// Next-run arithmetic at fixed moments.
#include "profiles/DateTime.h"
#include "profiles/Profile.h"
#include "scheduler/NextRun.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

tDateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
    return EncodeDateTime({y, mo, d, h, mi, s});
}

constexpr double kSecond = 1.0 / 86400.0;

} // namespace

TEST(NextRun, AdvanceMovesByWholeIntervalsPastNowAndRemembersBeforeAndAfter) {
    tProfile p;
    p.Days = 1;
    p.NextRun = At(2026, 3, 1, 7, 30);
    const tDateTime now = At(2026, 3, 10, 12, 0);
    tAdvanceMemory memory;
    AdvanceNextRun(p, p.NextRun, now, &memory);
    EXPECT_EQ(DateTimeText(p.NextRun), "11.03.2026 07:30:00");
    EXPECT_EQ(memory.LastAdvanceOld, "01.03.202607:30:00  ");
    EXPECT_EQ(memory.LastAdvanceNew, "11.03.202607:30:00  ");

    // A second advance from the advanced value keeps the first "before".
    const tDateTime later = At(2026, 3, 11, 9, 0);
    AdvanceNextRun(p, p.NextRun, later, &memory);
    EXPECT_EQ(DateTimeText(p.NextRun), "12.03.2026 07:30:00");
    EXPECT_EQ(memory.LastAdvanceOld, "01.03.202607:30:00  ");
    EXPECT_EQ(memory.LastAdvanceNew, "12.03.202607:30:00  ");

    // Within 15 seconds of now counts as passed: one more interval.
    tProfile q;
    q.Hours = 2;
    q.NextRun = At(2026, 3, 10, 12, 0, 10);
    AdvanceNextRun(q, q.NextRun, now, nullptr);
    EXPECT_EQ(DateTimeText(q.NextRun), "10.03.2026 14:00:10");
}

TEST(NextRun, AdvanceWithoutIntervalChangesNothingAndHugeGapsTakeBigSteps) {
    tProfile p;
    p.NextRun = At(2020, 1, 1, 0, 0);
    AdvanceNextRun(p, p.NextRun, At(2026, 1, 1, 0, 0), nullptr);
    EXPECT_EQ(p.NextRun, At(2020, 1, 1, 0, 0));
    p.Days = -1;
    AdvanceNextRun(p, p.NextRun, At(2026, 1, 1, 0, 0), nullptr);
    EXPECT_EQ(p.NextRun, At(2020, 1, 1, 0, 0));

    // One minute, ten years back: the step grows, the result lies just past now + 15 s.
    tProfile m;
    m.Minutes = 1;
    m.NextRun = At(2016, 5, 1, 8, 0);
    const tDateTime now = At(2026, 5, 1, 8, 0);
    AdvanceNextRun(m, m.NextRun, now, nullptr);
    EXPECT_GE(m.NextRun, now + kNextRunMargin);
    const double step = (now + kNextRunMargin - At(2016, 5, 1, 8, 0)) / 100000.0;
    EXPECT_LT(m.NextRun, now + kNextRunMargin + step + kSecond);
}

TEST(NextRun, TickingKeepsAFutureTimeMovesAPastOneAndWithoutIntervalTakesNow) {
    const tDateTime now = At(2026, 6, 15, 10, 0);
    const double day = RepeatInterval(1, 0, 0);
    EXPECT_DOUBLE_EQ(RepeatInterval(0, 1, 30), 1.5 / 24.0);
    EXPECT_EQ(TickedNextRun(At(2026, 6, 20, 9, 0), day, now), At(2026, 6, 20, 9, 0));
    EXPECT_EQ(DateTimeText(TickedNextRun(At(2026, 6, 1, 9, 0), day, now)), "16.06.2026 09:00:00");
    EXPECT_EQ(DateTimeText(TickedNextRun(At(2026, 6, 1, 11, 0), day, now)), "15.06.2026 11:00:00");
    EXPECT_EQ(DateTimeText(TickedNextRun(At(2016, 6, 1, 9, 30), RepeatInterval(0, 0, 1), now)),
              "15.06.2026 10:01:00");
    // No interval: now + 15 seconds, even when the picker showed a later time.
    EXPECT_EQ(DateTimeText(TickedNextRun(At(2027, 1, 1, 0, 0), 0, now)), "15.06.2026 10:00:15");
}
