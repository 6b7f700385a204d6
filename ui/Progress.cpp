#include "ui/Progress.h"

#include "ui/HelpWindow.h"
#include "ui/SyncMain.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace corvane::gui {

namespace {

TFProgress* instance = nullptr;
bool instanceDestroyed = false;
int nesting = 0;

// The bar runs over at most this many steps: enough for every pixel, and positions far
// beyond the toolkit's int range still fit.
constexpr int64_t kBarSteps = 10000;
constexpr int kMargin = 8;

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

TFProgress::TFProgress(QWidget* parent) : tNxForm<QDialog>(parent) {
    instance = this;
    setObjectName("FProgress");
    InstallHelp(this, help::Copying);
    // Placed below the main window's top each time it shows (FormShow), not where it was.
    RestorePositionOnShow = false;
    SavePositionOnHide = false;
    // No close button: the window ends with the work it shows.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    caption_ = "Fortschritt";
    setWindowTitle(caption_);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 1);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label1->hide();
    lbSubtitle = new QLabel(this);
    lbSubtitle->setObjectName("lbSubtitle");
    lbSubtitle->setTextFormat(Qt::PlainText);
    lbSubtitle->hide();
    btCancel = new QPushButton("Abbrechen", this);
    btCancel->setObjectName("btCancel");
    btCancel->hide();
    connect(btCancel, &QPushButton::clicked, this, [this] { btCancelClick(); });

    Arrange(false);
}

TFProgress::~TFProgress() {
    // FormDestroy: every later call of the progress operations is ignored.
    if (instance == this) instance = nullptr;
    instanceDestroyed = true;
}

TFProgress* TFProgress::Instance() {
    if (!instance && !instanceDestroyed) {
        new TFProgress();
        // A window of the whole program: it goes with the main window. Not its child, or
        // disabling the main window while the progress shows would disable the button too.
        if (TFSyncMain* main = TFSyncMain::Instance())
            QObject::connect(main, &QObject::destroyed, [] { delete instance; });
    }
    return instance;
}

TFProgress* TFProgress::Existing() {
    return instance;
}
bool TFProgress::Destroyed() {
    return instanceDestroyed;
}
int TFProgress::Nesting() {
    return nesting;
}

void TFProgress::Begin(bool showButton) {
    Cancelled = false;
    ++nesting;
    buttonShown_ = showButton;
    btCancel->setVisible(showButton);
    // A window shown anew starts at its design width.
    if (!isVisible()) width_ = DesignWidth;
}

void TFProgress::StartProgress(int64_t maximum, bool showButton) {
    Begin(showButton);
    caption_ = "Fortschritt";
    maximum_ = maximum;
    position_ = 0;
    textMode_ = false;
    Label1->hide();
    ProgressBar1->show();
    Arrange(false);
    if (!isVisible()) ShowWindow();
    LetEventsRun(100, true);
}

void TFProgress::StartProgressText(std::string_view text, bool showButton, std::string_view title) {
    Begin(showButton);
    caption_ = Q(title);
    maximum_ = 1;
    textMode_ = true;
    text_ = Q(text);
    lbSubtitle->clear();
    ProgressBar1->hide();
    Label1->show();
    Arrange(true);
    if (!isVisible()) ShowWindow();
    LetEventsRun(100, true);
}

void TFProgress::ShowProgressText(std::string_view text, bool showButton, std::string_view title) {
    if (!isVisible()) {
        StartProgressText(text, showButton, title);
    } else {
        text_ = Q(text);
    }
    LetEventsRun(100);
}

bool TFProgress::SetProgress(int64_t position) {
    if (!isVisible()) StartProgress(maximum_, false);
    position_ = position;
    if (std::chrono::steady_clock::now() >= nextRefresh_) Refresh();
    return !Cancelled;
}

void TFProgress::EndProgress() {
    if (--nesting < 0) nesting = 0;
    if (nesting > 0 || !isVisible()) return;
    const QPointer<QWidget> previous = activeWindow_;
    const bool wasEnabled = activeWasEnabled_;
    if (previous && wasEnabled) previous->setEnabled(true);
    activeWindow_ = nullptr;
    hide();
    if (previous && wasEnabled) previous->activateWindow();
}

void TFProgress::SetCaption(const QString& caption) {
    caption_ = caption;
    if (!isVisible()) setWindowTitle(caption_);
}

void TFProgress::SetButtonCaption(std::string_view caption) {
    const QString text = Q(caption);
    if (btCancel->text() == text) return;
    btCancel->setText(text);
    if (buttonShown_) Arrange(false);
}

void TFProgress::SetEnglishTexts() {
    SetCaption("Progress");
    SetButtonCaption("Cancel");
}

void TFProgress::Refresh() {
    nextRefresh_ = std::chrono::steady_clock::now() + RefreshInterval;
    if (windowTitle() != caption_) setWindowTitle(caption_);
    if (textMode_ && shownText_ != text_) ApplyLabelText();
    if (!textMode_) {
        const int steps = static_cast<int>(std::clamp<int64_t>(maximum_, 1, kBarSteps));
        if (ProgressBar1->maximum() != steps) ProgressBar1->setRange(0, steps);
        const int value = BarValue();
        if (ProgressBar1->value() != value) ProgressBar1->setValue(value);
    }
}

void TFProgress::LetEventsRun(int times, bool force) {
    if (!force && std::chrono::steady_clock::now() < nextRefresh_) return;
    Refresh();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return;
    for (int i = 0; i < times; ++i)
        if (!dispatcher->processEvents(QEventLoop::AllEvents)) break;
}

int TFProgress::BarValue() const {
    if (maximum_ <= 0) return 0;
    const int64_t steps = std::clamp<int64_t>(maximum_, 1, kBarSteps);
    const int64_t position = std::clamp<int64_t>(position_, 0, maximum_);
    return static_cast<int>(maximum_ <= kBarSteps ? position : position / (maximum_ / steps + 1));
}

void TFProgress::ApplyLabelText() {
    shownText_ = text_;
    QString shown = text_;
    // One-line texts (folder names while scanning) are shortened in the middle rather than
    // cut off; the whole text is the tooltip.
    if (!text_.contains('\n'))
        shown = Label1->fontMetrics().elidedText(text_, Qt::ElideMiddle, Label1->width());
    if (Label1->text() != shown) Label1->setText(shown);
    Label1->setToolTip(shown == text_ ? QString() : text_);
}

void TFProgress::Arrange(bool growToText) {
    const QFontMetrics fm = fontMetrics();
    const int barHeight = std::max(18, fm.height() + 4);
    int width = width_;
    int bottom = kMargin;
    if (textMode_) {
        int labelHeight = std::max(Label1->height(), fm.height());
        if (growToText) {
            const QRect need =
                fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextExpandTabs, text_);
            labelHeight = std::max(need.height(), fm.height());
            // Label's right edge + 5, but never wider than the screen.
            int limit = 100000;
            if (const QScreen* s = screen()) limit = s->availableGeometry().width() - 40;
            width = std::max(width, std::min(kMargin + need.width() + 5, limit));
        }
        Label1->setGeometry(kMargin, kMargin, width - kMargin - 5, labelHeight);
        bottom = kMargin + labelHeight;
        if (growToText) ApplyLabelText();
    } else {
        ProgressBar1->setGeometry(kMargin, kMargin, width - 2 * kMargin, barHeight);
        bottom = kMargin + barHeight;
    }
    if (!lbSubtitle->text().isEmpty()) {
        lbSubtitle->setGeometry(kMargin, bottom + 2, width - 2 * kMargin, fm.height());
        bottom += 2 + fm.height();
    }
    lbSubtitle->setVisible(!lbSubtitle->text().isEmpty());

    int height = std::max(BarHeight, bottom + 5);
    if (buttonShown_) {
        const QSize hint = btCancel->sizeHint().expandedTo(QSize(88, 0));
        btCancel->setGeometry((width - hint.width()) / 2, bottom + 8, hint.width(), hint.height());
        height = btCancel->geometry().bottom() + 1 + 6;
    }
    width_ = width;
    setFixedSize(width, height);
}

void TFProgress::ShowWindow() {
    QWidget* active = QApplication::activeWindow();
    if (active == this) active = nullptr;
    activeWindow_ = active;
    activeWasEnabled_ = active && active->isEnabled();
    if (activeWasEnabled_) active->setEnabled(false);
    // Above the window it belongs to, and the only window that takes input meanwhile (also
    // when a modal dialog started the work).
    QWidget* owner = TFSyncMain::Instance();
    if (active) owner = active;
    if (owner) {
        winId();
        if (QWindow* handle = windowHandle()) handle->setTransientParent(owner->windowHandle());
    }
    setWindowModality(Qt::ApplicationModal);
    Refresh();
    show();
    raise();
}

void TFProgress::btCancelClick() {
    Cancelled = true;
}

void TFProgress::FormClose() {
    if (activeWindow_ && activeWasEnabled_) activeWindow_->setEnabled(true);
    activeWindow_ = nullptr;
}

void TFProgress::FormShow() {
    QWidget* reference = TFSyncMain::Instance();
    if (!reference || !reference->isVisible()) reference = activeWindow_;
    const QSize frame = frameGeometry().size();
    QPoint at;
    if (reference) {
        const QRect r = reference->frameGeometry();
        at = QPoint(r.center().x() - frame.width() / 2, r.top() + 50);
    } else if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        at = QPoint(area.center().x() - frame.width() / 2, area.center().y() - frame.height() / 2);
    }
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        at.setX(
            std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - frame.width())));
        at.setY(
            std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - frame.height())));
    }
    move(at);
    setFixedSize(size());
}

void TFProgress::showEvent(QShowEvent* event) {
    tNxForm<QDialog>::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFProgress::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) {
        // Closed by the user through the window manager: as the button, while it is shown.
        if (buttonShown_) btCancelClick();
        event->ignore();
        return;
    }
    FormClose();
    hide();
    event->accept();
}

void TFProgress::reject() {
    if (buttonShown_) btCancelClick();
}

} // namespace corvane::gui
