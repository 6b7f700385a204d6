#include "ui/CopyingStatus.h"

#include "profiles/Profile.h"
#include "ui/Dialogs.h"
#include "ui/HelpWindow.h"
#include "ui/SyncMain.h"
#include "widgets/Bytes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <climits>

namespace corvane::gui {

namespace {

// A label for a path or a file name: shortened in the middle to its width (again whenever
// that changes), with the whole text as its tooltip while shortened.
class tPathLabel : public QLabel {
public:
    using QLabel::QLabel;
    void SetPath(const QString& full) {
        full_ = full;
        Elide();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Elide();
    }

private:
    void Elide() {
        const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, width());
        if (text() != shown) setText(shown);
        setToolTip(shown == full_ ? QString() : full_);
    }
    QString full_;
};

// A label whose text never widens the window: it gets the width the layout gives it.
template <class Label = QLabel> Label* NarrowLabel(const char* name, QWidget* parent) {
    auto* label = new Label(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(1);
    return label;
}

// Hidden widgets keep their room, so that the window keeps its size while they come and go.
void KeepRoomWhenHidden(QWidget* w) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

} // namespace

void SetBar(QProgressBar& bar, int64_t position, int64_t maximum) {
    if (maximum < 0) maximum = 0;
    position = std::clamp<int64_t>(position, 0, maximum);
    const int64_t divisor = maximum / INT_MAX + 1;
    const int max = static_cast<int>(maximum / divisor);
    const int value = static_cast<int>(position / divisor);
    if (bar.maximum() != max || bar.minimum() != 0) bar.setRange(0, max);
    if (bar.value() != value) bar.setValue(value);
}

TFCopyingStatus::TFCopyingStatus(tCopyingStatus& status, QWidget* parent)
    : tNxForm<QDialog>(parent), status_(status) {
    setObjectName("FCopyingStatus");
    InstallHelp(this, help::Copying);
    setWindowTitle("Copying Progress");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    // A fixed-size window: as large as its contents need, at least the design size.
    outer->setSizeConstraint(QLayout::SetFixedSize);
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setMinimumSize(DesignWidth, DesignHeight);
    outer->addWidget(Panel1);

    auto* column = new QVBoxLayout(Panel1);
    column->setContentsMargins(10, 8, 10, 8);
    column->setSpacing(4);

    lbCopying = NarrowLabel<tPathLabel>("lbCopying", Panel1);
    QFont bold = lbCopying->font();
    bold.setBold(true);
    lbCopying->setFont(bold);
    static_cast<tPathLabel*>(lbCopying)->SetPath("Copying");
    column->addWidget(lbCopying);

    lbFileNumber = NarrowLabel("lbFileNumber", Panel1);
    lbFileNumber->setText("File #123 of 456");
    column->addWidget(lbFileNumber);
    pbFileNumber = new QProgressBar(Panel1);
    pbFileNumber->setObjectName("pbFileNumber");
    lbFileNumber->setBuddy(pbFileNumber);
    pbFileNumber->setTextVisible(false);
    pbFileNumber->setRange(0, 0);
    column->addWidget(pbFileNumber);

    // The run's figures under its bar. Two lines are kept for them from the start (they
    // wrap at the window's width), so the window keeps its size when they arrive.
    lbFigures = NarrowLabel("lbFigures", Panel1);
    lbFigures->setWordWrap(true);
    lbFigures->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbFigures->setFixedHeight(lbFigures->fontMetrics().lineSpacing() * 2 + 2);
    column->addWidget(lbFigures);

    auto* folders = new QGridLayout;
    folders->setHorizontalSpacing(8);
    folders->setVerticalSpacing(2);
    Label2 = new QLabel("from", Panel1);
    Label2->setObjectName("Label2");
    lbFromDir = NarrowLabel<tPathLabel>("lbFromDir", Panel1);
    Label2->setBuddy(lbFromDir);
    Label3 = new QLabel("to", Panel1);
    Label3->setObjectName("Label3");
    lbToDir = NarrowLabel<tPathLabel>("lbToDir", Panel1);
    Label3->setBuddy(lbToDir);
    folders->addWidget(Label2, 0, 0);
    folders->addWidget(lbFromDir, 0, 1);
    folders->addWidget(Label3, 1, 0);
    folders->addWidget(lbToDir, 1, 1);
    folders->setColumnStretch(1, 1);
    column->addLayout(folders);

    lbBytes = NarrowLabel("lbBytes", Panel1);
    lbBytes->setText("10kB of 20MB");
    KeepRoomWhenHidden(lbBytes);
    column->addWidget(lbBytes);
    pbBytes = new QProgressBar(Panel1);
    pbBytes->setObjectName("pbBytes");
    lbBytes->setBuddy(pbBytes);
    pbBytes->setTextVisible(false);
    pbBytes->setRange(0, 0);
    KeepRoomWhenHidden(pbBytes);
    column->addWidget(pbBytes);

    GroupBox1 = new QGroupBox(" No (Exclusive) Access To: ", Panel1);
    GroupBox1->setObjectName("GroupBox1");
    auto* group = new QVBoxLayout(GroupBox1);
    group->setContentsMargins(6, 4, 6, 6);
    Memo1 = new QPlainTextEdit(GroupBox1);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Three lines above the horizontal scroll bar that long paths bring.
    Memo1->setFixedHeight(Memo1->fontMetrics().lineSpacing() * 3 + 2 * Memo1->frameWidth() + 8 +
                          Memo1->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    group->addWidget(Memo1);
    KeepRoomWhenHidden(GroupBox1);
    column->addWidget(GroupBox1);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    btDatabaseModeOff = new QPushButton("Turn Off Database-Safe Mode For This Profile", Panel1);
    btDatabaseModeOff->setObjectName("btDatabaseModeOff");
    btDatabaseModeOff->setAutoDefault(false);
    KeepRoomWhenHidden(btDatabaseModeOff);
    Button1 = new QPushButton("Cancel", Panel1);
    Button1->setObjectName("Button1");
    Button1->setAutoDefault(false);
    Button1->setMinimumWidth(88);
    buttons->addWidget(btDatabaseModeOff);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    column->addLayout(buttons);

    GroupBox1->hide();
    btDatabaseModeOff->hide();
    lbBytes->hide();
    pbBytes->hide();

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(btDatabaseModeOff, &QPushButton::clicked, this, [this] { btDatabaseModeOffClick(); });

    ensurePolished();
    outer->activate();
}

TFCopyingStatus::~TFCopyingStatus() = default;

void TFCopyingStatus::ShowStatus() {
    const tCopyingStatus& s = status_;
    const bool all = firstShow_;
    firstShow_ = false;
    auto path = [all](QLabel* label, std::string& shown, const std::string& now) {
        if (!all && shown == now) return;
        shown = now;
        static_cast<tPathLabel*>(label)->SetPath(FromBytes(now));
    };
    auto text = [all](QLabel* label, std::string& shown, const std::string& now) {
        if (!all && shown == now) return;
        shown = now;
        label->setText(QString::fromUtf8(now.data(), static_cast<qsizetype>(now.size())));
    };
    auto visible = [all](QWidget* w, bool& shown, bool now) {
        if (!all && shown == now) return;
        shown = now;
        w->setVisible(now);
    };

    path(lbCopying, shown_.lbCopying, s.lbCopying);
    text(lbFileNumber, shown_.lbFileNumber, s.lbFileNumber);
    if (all || shown_.lbFigures != s.lbFigures) {
        // Wrapped between the figures only, never inside one ("7 min" / "30 s left").
        shown_.lbFigures = s.lbFigures;
        QString figures = QString::fromUtf8(s.lbFigures.data(),
                                            static_cast<qsizetype>(s.lbFigures.size()));
        figures.replace(' ', QChar(0x00A0)).replace(QString(",") + QChar(0x00A0), ", ");
        figures.replace('/', QString("/") + QChar(0x2060)); // no break in "MB/s"
        lbFigures->setText(figures);
    }
    path(lbFromDir, shown_.lbFromDir, s.lbFromDir);
    path(lbToDir, shown_.lbToDir, s.lbToDir);
    text(lbBytes, shown_.lbBytes, s.lbBytes);
    if (all || shown_.pbFileNumberPosition != s.pbFileNumberPosition ||
        shown_.pbFileNumberMax != s.pbFileNumberMax) {
        shown_.pbFileNumberPosition = s.pbFileNumberPosition;
        shown_.pbFileNumberMax = s.pbFileNumberMax;
        SetBar(*pbFileNumber, s.pbFileNumberPosition, s.pbFileNumberMax);
    }
    if (all || shown_.pbBytesPosition != s.pbBytesPosition || shown_.pbBytesMax != s.pbBytesMax) {
        shown_.pbBytesPosition = s.pbBytesPosition;
        shown_.pbBytesMax = s.pbBytesMax;
        SetBar(*pbBytes, s.pbBytesPosition, s.pbBytesMax);
    }
    if (all || shown_.BytesVisible != s.BytesVisible) {
        shown_.BytesVisible = s.BytesVisible;
        lbBytes->setVisible(s.BytesVisible);
        pbBytes->setVisible(s.BytesVisible);
    }
    visible(GroupBox1, shown_.AccessGroupVisible, s.AccessGroupVisible);
    if (all || shown_.Memo1 != s.Memo1) {
        const bool appended = !all && s.Memo1.size() > shown_.Memo1.size() &&
                              std::equal(shown_.Memo1.begin(), shown_.Memo1.end(), s.Memo1.begin());
        if (appended) {
            for (size_t i = shown_.Memo1.size(); i < s.Memo1.size(); ++i)
                Memo1->appendPlainText(FromBytes(s.Memo1[i]));
        } else {
            QStringList lines;
            for (const std::string& line : s.Memo1)
                lines << FromBytes(line);
            Memo1->setPlainText(lines.join('\n'));
        }
        shown_.Memo1 = s.Memo1;
    }
    visible(btDatabaseModeOff, shown_.DatabaseModeOffVisible, s.DatabaseModeOffVisible);
    if (all || shown_.DatabaseModeOffEnabled != s.DatabaseModeOffEnabled) {
        shown_.DatabaseModeOffEnabled = s.DatabaseModeOffEnabled;
        btDatabaseModeOff->setEnabled(s.DatabaseModeOffEnabled);
    }
}

void TFCopyingStatus::ShowWindow() {
    ShowStatus();
    // Above the window the run came from (the main window when none is active), also while
    // a question of the run is open. Not modal: the main window disables its pages while a
    // run goes on, and it must still hear the window manager's close, which it answers with
    // the question of Button1.
    QWidget* owner = QApplication::activeWindow();
    if (!owner || owner == this) owner = TFSyncMain::Instance();
    if (owner && owner != this) {
        winId();
        owner->window()->winId();
        if (QWindow* handle = windowHandle())
            handle->setTransientParent(owner->window()->windowHandle());
    }
    show();
    raise();
    activateWindow();
}

int TFCopyingStatus::exec() {
    modal_ = true;
    ShowStatus();
    const int result = tNxForm<QDialog>::exec();
    modal_ = false;
    return result;
}

std::function<void(tProfile&)>& TFCopyingStatus::DatabaseModeSwitchedOff() {
    static std::function<void(tProfile&)> hook;
    return hook;
}

void TFCopyingStatus::Button1Click() {
    if (modal_) {
        status_.Cancelled = false;
        done(QDialog::Rejected);
        return;
    }
    status_.Cancelled = AskQuestion("Are you sure to abort the operation?");
}

void TFCopyingStatus::btDatabaseModeOffClick() {
    if (tProfile* profile = status_.Profile) {
        profile->Database = false;
        if (const auto& hook = DatabaseModeSwitchedOff()) hook(*profile);
    }
    status_.DatabaseModeOffEnabled = false;
    shown_.DatabaseModeOffEnabled = false;
    btDatabaseModeOff->setEnabled(false);
}

void TFCopyingStatus::closeEvent(QCloseEvent* event) {
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    // By the title bar: the same question as Cancel. The window stays while the run goes
    // on; the run closes it when it ends.
    event->ignore();
    Button1Click();
}

void TFCopyingStatus::reject() {
    Button1Click();
}

} // namespace corvane::gui
