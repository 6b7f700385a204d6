// The figures a user plans by while a plan is carried out: bytes and files done of the
// totals, the current speed and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace corvane {

class tCopyProgress {
public:
    using Clock = std::chrono::steady_clock;

    // The totals of the work ahead: the bytes of the planned copies and the planned files.
    void Start(int64_t totalBytes, int64_t totalFiles, Clock::time_point now);

    // Takes the figures so far. true when Text() changed, which happens at most 10 times a
    // second (the first call after Start always gives a text).
    bool Update(int64_t bytesDone, int64_t filesDone, Clock::time_point now);

    // "1.200 GB of 3.400 GB, 1,234 of 20,000 files, 45.6 MB/s, 2 min 10 s left" (sizes as
    // in the rest of the copying window); the speed and the time left appear once a second
    // of figures has been seen, the time left once a rate is known.
    const std::string& Text() const { return text_; }

private:
    void Record(int64_t bytesDone, int64_t filesDone, Clock::time_point now);
    std::string Compose(int64_t bytesDone, int64_t filesDone, Clock::time_point now) const;

    int64_t totalBytes_ = 0, totalFiles_ = 0;
    Clock::time_point start_{}, lastText_{};
    bool shown_ = false;
    std::string text_;
    // The speed is measured over the last kWindow (so that it follows a change of medium),
    // from samples taken at least kSampleStep apart; the ring holds a little more than the
    // window.
    struct tSample {
        Clock::time_point At{};
        int64_t Bytes = 0, Files = 0;
    };
    static constexpr Clock::duration kWindow = std::chrono::seconds(4);
    static constexpr Clock::duration kSampleStep = std::chrono::milliseconds(250);
    static constexpr int kSamples = 20;
    tSample samples_[kSamples]{};
    int sampleCount_ = 0, sampleNext_ = 0;
};

} // namespace corvane
