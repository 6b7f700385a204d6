#include "ui/OptionsPage.h"

#include "profiles/Preferences.h"
#include "scheduler/Autostart.h"
#include "ui/PageControls.h"
#include "ui/SyncMain.h"
#include "widgets/Bytes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvane::gui {

using namespace controls;

tOptionsPage::tOptionsPage(TFSyncMain& main) : main_(main) {
    setObjectName("tsOptions");
    Help(this, 10);
    rgLogging = new tRadioGroup("rgLogging", " Logging ",
                                {"none", "one common log file", "separate log file for each profile",
                                 "separate log file for each run"},
                                this);
    Label19 = Text(this, "Label19", "Path for logging");
    edLogPath = Edit(this, "edLogPath");
    PathField(edLogPath);
    Hint(edLogPath, "In this field, you specify the folder for log files.");
    Label19->setBuddy(edLogPath);
    btBrowseLog = BrowseButton(this, "btBrowseLog");
    Label22 = Text(this, "Label22", "Buffer size for copying files:");
    edBufSize = Number(this, "edBufSize", "1024", 10240);
    Label22->setBuddy(edBufSize);
    Label20 = Text(this, "Label20", "kB");
    Label21 = Text(this, "Label21", "Using a smaller buffer size may be necessary with slower media.");
    Label26 = Text(this, "Label26", "Copy &up to");
    edCopyWorkers = Number(this, "edCopyWorkers", "0", 16);
    Label26->setBuddy(edCopyWorkers);
    Label27 = Text(this, "Label27", "files at once per drive (0: automatic)");
    Label28 = Text(this, "Label28",
                   "Automatic is 1 on a rotating disk or a network share and 4 elsewhere.");
    Hint(edCopyWorkers, "Small files are copied side by side, up to this many at a time on each "
                        "destination drive. Automatic is 1 on a rotating disk or a network "
                        "share and 4 elsewhere (SSDs, USB sticks, memory).");
    Label23 = Text(this, "Label23", "Unattended runs may delete at most");
    edDeleteLimit = Number(this, "edDeleteLimit", "50", 100);
    Label23->setBuddy(edDeleteLimit);
    Hint(edDeleteLimit, "A scheduled run (or one without a window) whose plan would delete more "
                        "than this share of the files on a side does nothing and fails.");
    Label24 = Text(this, "Label24", "% of the files on a side");
    Label25 = Text(this, "Label25", "100 turns the limit off.");
    cbAutostart = Check(this, "cbAutostart", "Start the scheduler when I log in");
    Hint(cbAutostart, "Starts this program with its scheduler running each time you log in to your desktop.");

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(rgLogging);
    top->addStretch();
    layout->addLayout(top);
    auto* grid = new QGridLayout;
    grid->addWidget(Label19, 0, 0);
    grid->addWidget(edLogPath, 0, 1);
    grid->addWidget(btBrowseLog, 0, 2);
    grid->addWidget(Label22, 1, 0);
    auto* buf = new QHBoxLayout;
    buf->addWidget(edBufSize);
    buf->addWidget(Label20);
    buf->addStretch();
    grid->addLayout(buf, 1, 1, 1, 2);
    grid->addWidget(Label21, 2, 1, 1, 2);
    grid->addWidget(Label26, 3, 0);
    auto* workers = new QHBoxLayout;
    workers->addWidget(edCopyWorkers);
    workers->addWidget(Label27);
    workers->addStretch();
    grid->addLayout(workers, 3, 1, 1, 2);
    grid->addWidget(Label28, 4, 1, 1, 2);
    grid->addWidget(Label23, 5, 0);
    auto* limit = new QHBoxLayout;
    limit->addWidget(edDeleteLimit);
    limit->addWidget(Label24);
    limit->addStretch();
    grid->addLayout(limit, 5, 1, 1, 2);
    grid->addWidget(Label25, 6, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addWidget(cbAutostart);
    layout->addStretch();

    connect(rgLogging, &tRadioGroup::Clicked, this, [this] { rgLoggingClick(); });
    connect(cbAutostart, &QCheckBox::clicked, this, [this] { cbAutostartClick(); });
    connect(edDeleteLimit, &QLineEdit::textChanged, this, [this] { edDeleteLimitChange(); });
    connect(edCopyWorkers, &QLineEdit::textChanged, this, [this] { edCopyWorkersChange(); });
    connect(btBrowseLog, &QToolButton::clicked, this,
            [this] { main_.Browse(edLogPath, "Path for logging"); });
    // Typed, dropped or browsed: stored and used by the next run at once.
    connect(edLogPath, &QLineEdit::textChanged, this, [this] {
        if (!loading_) edLogPathChange();
    });
    connect(edBufSize, &QLineEdit::textChanged, this, [this] {
        if (!loading_) edBufSizeChange();
    });
}

void tOptionsPage::LoadSettings() {
    loading_ = true;
    edLogPath->setText(FromBytes(ReadPref("LogFolder", "Main")));
    const int bufSize = ParseBufSize(ReadPref("BufSize", "Main"));
    edBufSize->setText(QString::number(bufSize));
    RunSettings().BufSizeKB = bufSize;
    rgLogging->SetItemIndex(ParseIntOr(ReadPref("Logging", "Main"), 0));
    if (edLogPath->text().isEmpty()) edLogPath->setText(FromBytes(DefaultLogFolder()));
    cbAutostart->setChecked(AutostartEnabled());
    const int limit = ParseDeleteLimit(ReadPref("DeleteLimit", "Main"));
    {
        const QSignalBlocker quiet(edDeleteLimit);
        edDeleteLimit->setText(QString::number(limit));
    }
    RunSettings().DeleteLimit = limit;
    const int workers = ParseCopyWorkers(ReadPref("CopyWorkers", "Main"));
    {
        const QSignalBlocker quiet(edCopyWorkers);
        edCopyWorkers->setText(QString::number(workers));
    }
    RunSettings().CopyWorkers = workers;
    loading_ = false;
}

void tOptionsPage::SaveSettings() { WritePref("BufSize", S(edBufSize->text()), "Main"); }

void tOptionsPage::UseLogFolder() {
    if (!edLogPath->text().trimmed().isEmpty()) RunSettings().LogFolder = ToBytes(edLogPath->text());
}

void tOptionsPage::edLogPathChange() {
    const std::string folder = ToBytes(edLogPath->text());
    // An emptied field stands for the default folder, which is what a restart shows then.
    WritePref("LogFolder", edLogPath->text().trimmed().isEmpty() ? std::string() : folder, "Main");
    RunSettings().LogFolder = edLogPath->text().trimmed().isEmpty() ? DefaultLogFolder() : folder;
}

void tOptionsPage::edBufSizeChange() {
    // A field being retyped (empty, or "0") keeps the last usable size in effect.
    const std::string text = S(edBufSize->text());
    if (ParseIntOr(text, 0) <= 0) return;
    const int size = ParseBufSize(text);
    WritePref("BufSize", std::to_string(size), "Main");
    RunSettings().BufSizeKB = size;
}

void tOptionsPage::rgLoggingClick() {
    const int index = rgLogging->ItemIndex();
    WritePref("Logging", std::to_string(index), "Main");
    RunSettings().Logging = index;
}

void tOptionsPage::edDeleteLimitChange() {
    const std::string text = S(edDeleteLimit->text());
    if (text.empty()) return;
    const int limit = ParseDeleteLimit(text);
    RunSettings().DeleteLimit = limit;
    WritePref("DeleteLimit", std::to_string(limit), "Main");
}

void tOptionsPage::edCopyWorkersChange() {
    const std::string text = S(edCopyWorkers->text());
    if (text.empty()) return;
    const int workers = ParseCopyWorkers(text);
    RunSettings().CopyWorkers = workers;
    WritePref("CopyWorkers", std::to_string(workers), "Main");
}

void tOptionsPage::cbAutostartClick() {
    const bool on = cbAutostart->isChecked();
    if (std::string problem = SetAutostart(on, ProgramFile()); !problem.empty()) {
        main_.Dialogs.Info(problem);
        cbAutostart->setChecked(AutostartEnabled());
    }
}

} // namespace corvane::gui
