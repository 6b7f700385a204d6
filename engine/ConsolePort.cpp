#include "engine/ConsolePort.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace corvane {

namespace {

ConsolePort& DefaultPort() {
    static ConsolePort port;
    return port;
}

UiPort* installed = nullptr;

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// text made one line of at most columns characters: control bytes (a line feed in a file
// name) become "?", and a cut never splits a UTF-8 sequence.
std::string OneLine(std::string_view text, int columns) {
    std::string line;
    int shown = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool continuation = (c & 0xC0) == 0x80;
        if (!continuation && shown++ >= columns) break;
        line += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    return line;
}

} // namespace

UiPort& Ui() { return installed ? *installed : DefaultPort(); }
void SetUiPort(UiPort* port) { installed = port; }

ConsolePort::ConsolePort(std::FILE* err) : err_(err), terminal_(isatty(fileno(err)) == 1) {}

int ConsolePort::Width() const {
    winsize size{};
    if (ioctl(fileno(err_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        const int n = std::atoi(columns);
        if (n > 0) return n;
    }
    return 80;
}

void ConsolePort::Draw(std::string_view text) {
    if (!Drawing()) return;
    long long now = NowMs();
    if (!terminal_) {
        // A log file: a line a second at most, and none that repeats the last.
        if (lastDraw_ != 0 && now - lastDraw_ < 1000) return;
        std::string line = OneLine(text, 1000);
        if (line == lastLine_) return;
        lastDraw_ = now;
        lastLine_ = line;
        std::fprintf(err_, "%s\n", line.c_str());
        std::fflush(err_);
        return;
    }
    if (now - lastDraw_ < 100) return;
    lastDraw_ = now;
    // One column less than the width: a full line would wrap on some terminals.
    std::string line = OneLine(text, std::max(Width() - 1, 1));
    std::fprintf(err_, "\r\033[K%s", line.c_str());
    std::fflush(err_);
    lineShown_ = true;
}

void ConsolePort::ClearLine() {
    if (!terminal_ || !lineShown_) return;
    std::fprintf(err_, "\r\033[K");
    std::fflush(err_);
    lineShown_ = false;
}

void ConsolePort::StartProgress(int64_t maximum, bool) {
    ++nesting_;
    maximum_ = maximum;
}

void ConsolePort::StartProgressText(std::string_view text, bool, std::string_view title) {
    ++nesting_;
    title_ = title;
    text_ = text;
    Draw(title_ + ": " + text_);
}

void ConsolePort::ShowProgressText(std::string_view text, bool showButton,
                                   std::string_view title) {
    if (nesting_ <= 0) {
        StartProgressText(text, showButton, title);
        return;
    }
    text_ = text;
    Draw(title_ + ": " + text_);
}

bool ConsolePort::SetProgress(int64_t position) {
    if (nesting_ <= 0) StartProgress(maximum_, false);
    if (maximum_ > 0)
        Draw(title_ + ": " + std::to_string(position * 100 / maximum_) + "%");
    return true;
}

void ConsolePort::EndProgress() {
    if (--nesting_ <= 0) {
        nesting_ = 0;
        ClearLine();
    }
}

void ConsolePort::SetProgressTitle(std::string_view title) {
    title_ = title;
    Draw(title_ + (text_.empty() ? "" : ": " + text_));
}

void ConsolePort::ShowInfo(std::string_view text) {
    ClearLine();
    std::fprintf(err_, "%.*s\n", static_cast<int>(text.size()), text.data());
}

bool ConsolePort::AskQuestion(std::string_view text) {
    ClearLine();
    std::fprintf(err_, "%.*s -> No\n", static_cast<int>(text.size()), text.data());
    return false;
}

int ConsolePort::AskDecision(std::string_view question, bool, bool showCancel, std::string_view) {
    ClearLine();
    std::fprintf(err_, "%.*s -> %s\n", static_cast<int>(question.size()), question.data(),
                 showCancel ? "Cancel" : "No");
    return showCancel ? -1 : 0;
}

int ConsolePort::ChooseOption(std::string_view message, const std::vector<std::string>&, int) {
    ClearLine();
    std::fprintf(err_, "%.*s -> Cancel\n", static_cast<int>(message.size()), message.data());
    return 0;
}

int ConsolePort::ChooseWithFileInfo(const tFileChoice& choice) {
    // The first option of every confirmation is the one that changes nothing.
    ClearLine();
    std::fprintf(err_, "%s %s -> %s\n", choice.Message.c_str(), choice.DestName.c_str(),
                 choice.Options.empty() ? "Cancel" : choice.Options.front().c_str());
    return choice.Options.empty() ? 0 : 1;
}

std::string ConsolePort::AskForText(std::string_view prompt, int, bool& cancelled,
                                    std::string_view, std::string_view) {
    ClearLine();
    std::fprintf(err_, "%.*s -> Cancel\n", static_cast<int>(prompt.size()), prompt.data());
    cancelled = true;
    return {};
}

void ConsolePort::OpenCopyingStatus(tCopyingStatus& status, bool) { copying_ = &status; }

void ConsolePort::CloseCopyingStatus() {
    // A log ends with where the copy stopped, even when that came within the last second.
    if (copying_ && always_ && !terminal_) {
        lastDraw_ = 0;
        ProcessEvents();
    }
    copying_ = nullptr;
    ClearLine();
}

void ConsolePort::ProcessEvents() {
    if (!copying_ || !Drawing()) return;
    // The figures first: they are what a cut to the width must keep.
    std::string line;
    if (!copying_->lbFigures.empty()) line = copying_->lbFigures + "  ";
    line += copying_->lbFileNumber + "  " + copying_->lbCopying;
    if (copying_->BytesVisible) line += "  " + copying_->lbBytes;
    Draw(line);
}

} // namespace corvane
