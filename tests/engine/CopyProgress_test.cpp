#include "engine/CopyProgress.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

using namespace corvane;
using namespace std::chrono;

namespace {

constexpr int64_t MiB = 1048576;

// Feeds the meter from one clock time to another in steps, the figures growing at the
// given rates; counts the texts per whole second of the clock.
struct tFeed {
    tFeed(tCopyProgress& meter, tCopyProgress::Clock::time_point zero) : Meter(meter), Zero(zero) {}
    tCopyProgress& Meter;
    tCopyProgress::Clock::time_point Zero;
    int64_t Ms = 0, Bytes = 0, Files = 0;
    std::map<int64_t, int> TextsPerSecond;
    std::string FirstWithSpeed;
    int64_t FirstWithSpeedMs = -1;

    void Run(int64_t untilMs, int64_t stepMs, int64_t bytesPerSecond, int64_t filesPerSecond) {
        const int64_t fromMs = Ms, bytes0 = Bytes, files0 = Files;
        while (Ms < untilMs) {
            Ms += stepMs;
            Bytes = bytes0 + bytesPerSecond * (Ms - fromMs) / 1000;
            Files = files0 + filesPerSecond * (Ms - fromMs) / 1000;
            if (!Meter.Update(Bytes, Files, Zero + milliseconds(Ms))) continue;
            ++TextsPerSecond[Ms / 1000];
            if (FirstWithSpeedMs < 0 && Meter.Text().find("/s") != std::string::npos) {
                FirstWithSpeedMs = Ms;
                FirstWithSpeed = Meter.Text();
            }
        }
    }
};

} // namespace

TEST(CopyProgress, SpeedFollowsTheRecentRateAndTheSlowerOfBytesAndFilesTellsTheTimeLeft) {
    tCopyProgress meter;
    const auto zero = tCopyProgress::Clock::now();
    meter.Start(1000 * MiB, 20000, zero);
    ASSERT_TRUE(meter.Update(0, 0, zero)) << "the first figures always give a text";
    EXPECT_EQ(meter.Text(), "0.000 kB of 1000.000 MB, 0 of 20,000 files");

    // Ten seconds at 10 MB/s and 100 files a second, figures every 10 ms.
    tFeed feed(meter, zero);
    feed.Run(10000, 10, 10 * MiB, 100);
    int texts = 0;
    for (const auto& [second, count] : feed.TextsPerSecond) {
        EXPECT_LE(count, 10) << "second " << second;
        texts += count;
    }
    EXPECT_GE(texts, 90) << "changing figures are shown ten times a second";
    EXPECT_EQ(feed.FirstWithSpeedMs, 1000) << "no speed before a second of figures";
    EXPECT_NE(feed.FirstWithSpeed.find(", 10.0 MB/s, "), std::string::npos) << feed.FirstWithSpeed;
    EXPECT_EQ(meter.Text().substr(0, 50), "100.000 MB of 1000.000 MB, 1,000 of 20,000 files, ");

    // The medium slows down to 1 MB/s and 20 files a second: six seconds later the speed is
    // the new one (since the start it would be 6.6 MB/s). The bytes left need 894 s, the
    // files left 18,880 / 20 = 944 s: the files tell.
    feed.Run(16000, 250, MiB, 20);
    EXPECT_EQ(meter.Text(),
              "106.000 MB of 1000.000 MB, 1,120 of 20,000 files, 1.0 MB/s, 15 min 44 s left");

    // Few large files: the bytes tell, in hours.
    tCopyProgress big;
    big.Start(8192 * MiB, 10, zero);
    big.Update(0, 0, zero);
    tFeed large(big, zero);
    large.Run(1000, 250, MiB, 1);
    large.Run(2000, 250, MiB, 0);
    EXPECT_EQ(big.Text(), "2.000 MB of 8.000 GB, 1 of 10 files, 1.0 MB/s, 2 h 16 min left");
    // Nothing moves for five seconds: the speed says so, and no time left is guessed.
    large.Run(7000, 250, 0, 0);
    EXPECT_EQ(big.Text(), "2.000 MB of 8.000 GB, 1 of 10 files, 0.0 kB/s");

    tCopyProgress one;
    one.Start(50 * MiB, 1, zero);
    tFeed single(one, zero);
    single.Run(5000, 250, MiB, 0);
    EXPECT_EQ(one.Text(), "5.000 MB of 50.000 MB, 0 of 1 file, 1.0 MB/s, 45 s left");
}
