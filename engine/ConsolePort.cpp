#include "engine/ConsolePort.h"

#include <chrono>
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

} // namespace

UiPort& Ui() { return installed ? *installed : DefaultPort(); }
void SetUiPort(UiPort* port) { installed = port; }

ConsolePort::ConsolePort(std::FILE* err) : err_(err), terminal_(isatty(fileno(err)) == 1) {}

void ConsolePort::Draw(std::string_view text) {
    if (!terminal_) return;
    long long now = NowMs();
    if (now - lastDraw_ < 100) return;
    lastDraw_ = now;
    std::string line(text.substr(0, 100));
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
    copying_ = nullptr;
    ClearLine();
}

void ConsolePort::ProcessEvents() {
    if (!copying_ || !terminal_) return;
    std::string line = copying_->lbFileNumber + "  " + copying_->lbCopying;
    if (copying_->BytesVisible) line += "  " + copying_->lbBytes;
    Draw(line);
}

} // namespace corvane
