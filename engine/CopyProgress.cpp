#include "engine/CopyProgress.h"

#include "engine/FileAccess.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace corvane {

namespace {

using Seconds = std::chrono::duration<double>;

// "20,000": thousands separated by commas, whatever the locale.
std::string CountText(int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return n < 0 ? "-" + out : out;
}

// "45.6 MB/s": one decimal, the units of SizeText.
std::string SpeedText(double bytesPerSecond) {
    const char* unit = " kB/s";
    double value = bytesPerSecond / 1024.0;
    if (bytesPerSecond >= 1073741824.0) {
        value = bytesPerSecond / 1073741824.0;
        unit = " GB/s";
    } else if (bytesPerSecond >= 1048576.0) {
        value = bytesPerSecond / 1048576.0;
        unit = " MB/s";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f%s", value, unit);
    return text;
}

// "45 s", "2 min 10 s", "1 h 5 min"; whole seconds rounded up, so that work still under
// way never reads as nothing left.
std::string DurationText(double seconds) {
    const auto total = static_cast<int64_t>(std::ceil(std::max(seconds, 0.0)));
    if (total < 60) return std::to_string(total) + " s";
    if (total < 3600) return std::to_string(total / 60) + " min " + std::to_string(total % 60) + " s";
    return std::to_string(total / 3600) + " h " + std::to_string(total % 3600 / 60) + " min";
}

// The time the work left takes at rate; 0 with nothing left, negative when it cannot be
// told (nothing moved in the window while work is left).
double TimeFor(int64_t left, double rate) {
    if (left <= 0) return 0;
    return rate > 0 ? static_cast<double>(left) / rate : -1;
}

} // namespace

void tCopyProgress::Start(int64_t totalBytes, int64_t totalFiles, Clock::time_point now) {
    totalBytes_ = totalBytes;
    totalFiles_ = totalFiles;
    start_ = now;
    lastText_ = {};
    shown_ = false;
    text_.clear();
    sampleCount_ = sampleNext_ = 0;
    Record(0, 0, now);
}

void tCopyProgress::Record(int64_t bytesDone, int64_t filesDone, Clock::time_point now) {
    if (sampleCount_ > 0) {
        const tSample& newest = samples_[(sampleNext_ + kSamples - 1) % kSamples];
        if (now - newest.At < kSampleStep) return;
    }
    samples_[sampleNext_] = {now, bytesDone, filesDone};
    sampleNext_ = (sampleNext_ + 1) % kSamples;
    sampleCount_ = std::min(sampleCount_ + 1, kSamples);
}

bool tCopyProgress::Update(int64_t bytesDone, int64_t filesDone, Clock::time_point now) {
    Record(bytesDone, filesDone, now);
    if (shown_ && now - lastText_ < std::chrono::milliseconds(100)) return false;
    std::string text = Compose(bytesDone, filesDone, now);
    if (shown_ && text == text_) return false;
    shown_ = true;
    lastText_ = now;
    text_ = std::move(text);
    return true;
}

std::string tCopyProgress::Compose(int64_t bytesDone, int64_t filesDone,
                                   Clock::time_point now) const {
    std::string text = SizeText(bytesDone) + " of " + SizeText(totalBytes_) + ", " +
                       CountText(filesDone) + " of " + CountText(totalFiles_) +
                       (totalFiles_ == 1 ? " file" : " files");
    // The base of the speed: the newest sample at least a window old, so that the speed
    // covers the last few seconds; early in the run, the first sample.
    const tSample* base = nullptr;
    for (int i = 0; i < sampleCount_; ++i) {
        const tSample& s = samples_[(sampleNext_ + kSamples - sampleCount_ + i) % kSamples];
        if (!base || now - s.At >= kWindow) base = &s;
        if (now - s.At < kWindow) break;
    }
    if (!base) return text;
    const double span = Seconds(now - base->At).count();
    if (span < 1.0) return text;
    const double byteRate = static_cast<double>(bytesDone - base->Bytes) / span;
    const double fileRate = static_cast<double>(filesDone - base->Files) / span;
    text += ", " + SpeedText(std::max(byteRate, 0.0));
    // Many small files cost per file more than per byte: the slower of the two tells.
    const double byBytes = TimeFor(totalBytes_ - bytesDone, byteRate);
    const double byFiles = TimeFor(totalFiles_ - filesDone, fileRate);
    if (byBytes < 0 && byFiles < 0) return text;
    text += ", " + DurationText(std::max(byBytes, byFiles)) + " left";
    return text;
}

} // namespace corvane
