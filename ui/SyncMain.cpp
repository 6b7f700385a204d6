#include "ui/SyncMain.h"

#include "engine/Analysis.h"
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "profiles/ProfileStore.h"
#include "scheduler/Autostart.h"
#include "ui/CopyingStatus.h"
#include "ui/Dialogs.h"
#include "ui/Notify.h"
#include "ui/Progress.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <exception>
#include <filesystem>

namespace corvane::gui {

namespace {

TFSyncMain* mainWindow = nullptr;

constexpr const char* kVersion = "1.04";
constexpr double kLastRunShownAfter = 37750.0; // the start of 9 May 2003

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string S(const QString& s) { return s.toStdString(); }

// Leading codes 0, 9, 10, 13 and 32 and trailing blanks and code 0 removed, as the option
// record's text fields are read.
std::string TrimField(std::string s) {
    auto lead = [](char c) { return c == 0 || c == 9 || c == 10 || c == 13 || c == 32; };
    size_t a = 0;
    while (a < s.size() && lead(s[a])) ++a;
    size_t b = s.size();
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\0')) --b;
    return s.substr(a, b - a);
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

std::string WithoutChars(std::string s, std::string_view chars) {
    std::erase_if(s, [&](char c) { return chars.find(c) != std::string_view::npos; });
    return s;
}

QDate DateOf(tDateTime value) {
    const tDateParts p = DecodeDateTime(value);
    return QDate(p.Year, p.Month, p.Day);
}

QTime TimeOf(tDateTime value) {
    const tDateParts p = DecodeDateTime(value);
    return QTime(p.Hour, p.Minute, p.Second);
}

tDateTime DayNumber(const QDate& d, const QTime& t) {
    return EncodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
}

void Hint(QWidget* w, const char* text) { w->setToolTip(QString::fromUtf8(text)); }
void Help(QWidget* w, int context) { w->setProperty("HelpContext", context); }

template <class W>
W* Named(W* w, const char* name) {
    w->setObjectName(name);
    return w;
}

QCheckBox* Check(QWidget* parent, const char* name, const char* caption, bool on = false) {
    auto* b = Named(new QCheckBox(QString::fromUtf8(caption), parent), name);
    b->setChecked(on);
    return b;
}

QLabel* Text(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

QLineEdit* Edit(QWidget* parent, const char* name, const char* text = "") {
    return Named(new QLineEdit(QString::fromUtf8(text), parent), name);
}

// A short number field; the validator keeps typed values inside the option record's widths.
QLineEdit* Number(QWidget* parent, const char* name, const char* text, int max = 9999) {
    auto* e = Edit(parent, name, text);
    e->setValidator(new QIntValidator(0, max, e));
    e->setMaxLength(QString::number(max).size());
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(QString::number(max).size() + 1, '0')) + 14);
    return e;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    return Named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

QToolButton* BrowseButton(QWidget* parent, const char* name) {
    auto* b = Named(new QToolButton(parent), name);
    b->setIcon(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
    b->setToolTip("Browse for a folder");
    return b;
}

bool IsNumberOtherThanZero(const QString& text) {
    const int v = ParseIntOr(S(text), 0);
    return v != 0;
}

constexpr const char* kNoScheduledProfiles =
    "No profiles are scheduled. This may be caused by scheduled dates to lie in the past. To "
    "activate some profiles, you can easily do this from the \"Overview\" tab sheet. \r\n\r\n"
    "If you want to have the scheduled date for a profile to be updated automatically so that "
    "it always lies in the future, please go to the \"Edit Profiles\" tabsheet, and select the "
    "\"Auto-Update\" option among the  \"Schedule\" options.";
constexpr const char* kNothingToSchedule =
    "Please place checkmarks next to those profiles that you want to schedule.";
constexpr const char* kNothingToEdit =
    "Please select a profile to edit. This is done by clicking on the profile name (not the "
    "checkbox).";
constexpr int kProfileNameRole = Qt::UserRole + 1;

// The scheduler grid's cells are painted by the window.
class tProfileGridDelegate : public QStyledItemDelegate {
public:
    explicit tProfileGridDelegate(TFSyncMain* window) : QStyledItemDelegate(window), window_(window) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        window_->grdProfilesDrawCellX(painter, option, index);
    }

private:
    TFSyncMain* window_;
};

} // namespace

tCellColors ScheduleCellColors(const QPalette& palette, bool header, bool nextRow) {
    if (header) return {palette.color(QPalette::Button), palette.color(QPalette::ButtonText)};
    if (nextRow) return {QColor(0, 0, 255), QColor(255, 255, 255)};
    return {palette.color(QPalette::Base), palette.color(QPalette::Text)};
}

// ---------------------------------------------------------------------------------------
// tRadioGroup

tRadioGroup::tRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                         QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(name + "_" + QString::number(i));
        group_->addButton(b, i);
        layout->addWidget(b);
    }
    connect(group_, &QButtonGroup::buttonClicked, this, [this] { emit Clicked(); });
}

int tRadioGroup::ItemIndex() const { return group_->checkedId(); }

void tRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* b = group_->button(index)) b->setChecked(true);
}

QRadioButton* tRadioGroup::Item(int index) const {
    return static_cast<QRadioButton*>(group_->button(index));
}

// ---------------------------------------------------------------------------------------
// The port a "Run Now..." runs through: the installed port, plus the main window's close
// request. Once the window was asked to close, the progress counts as cancelled, no plan is
// reviewed and the copying status is cancelled at its next poll, so the run ends at the next
// point where it looks at its flags and nothing half-done is left behind.

class TFSyncMain::tRunGuard : public UiPort {
public:
    tRunGuard(TFSyncMain& window, tProfile& profile)
        : window_(window), profile_(profile), inner_(Ui()) {
        window_.running_ = &profile_;
        SetUiPort(this);
    }
    ~tRunGuard() override {
        SetUiPort(&inner_);
        window_.running_ = nullptr;
    }

    void StartProgress(int64_t maximum, bool showButton) override {
        inner_.StartProgress(maximum, showButton);
    }
    void StartProgressText(std::string_view text, bool showButton, std::string_view title) override {
        inner_.StartProgressText(text, showButton, title);
    }
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title) override {
        inner_.ShowProgressText(text, showButton, title);
    }
    bool SetProgress(int64_t position) override {
        return inner_.SetProgress(position) && !window_.closePending_;
    }
    void EndProgress() override { inner_.EndProgress(); }
    void SetProgressTitle(std::string_view title) override { inner_.SetProgressTitle(title); }
    void SetProgressButtonCaption(std::string_view caption) override {
        inner_.SetProgressButtonCaption(caption);
    }
    bool ProgressCancelled() const override {
        return inner_.ProgressCancelled() || window_.closePending_;
    }
    bool ProgressVisible() const override { return inner_.ProgressVisible(); }

    void ShowInfo(std::string_view text) override { inner_.ShowInfo(text); }
    bool AskQuestion(std::string_view text) override { return inner_.AskQuestion(text); }
    int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                    std::string_view title) override {
        return inner_.AskDecision(question, defaultYes, showCancel, title);
    }
    int ChooseOption(std::string_view message, const std::vector<std::string>& options,
                     int preselected) override {
        return inner_.ChooseOption(message, options, preselected);
    }
    int ChooseWithFileInfo(const tFileChoice& choice) override {
        return inner_.ChooseWithFileInfo(choice);
    }
    std::string AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                           std::string_view defaultText, std::string_view note) override {
        return inner_.AskForText(prompt, maxLength, cancelled, defaultText, note);
    }

    void OpenCopyingStatus(tCopyingStatus& status, bool show) override {
        inner_.OpenCopyingStatus(status, show);
        if (window_.closePending_) status.Cancelled = true;
    }
    void CloseCopyingStatus() override { inner_.CloseCopyingStatus(); }
    void ShowCopyingResult(const tCopyingResult& result) override {
        if (!window_.closePending_) inner_.ShowCopyingResult(result);
    }
    bool ReviewPlan(tProfile& profile) override {
        if (window_.closePending_) return false;
        return inner_.ReviewPlan(profile) && !window_.closePending_;
    }
    void ProcessEvents() override {
        inner_.ProcessEvents();
        if (window_.closePending_ && profile_.CopyingWindow) profile_.CopyingWindow->Cancelled = true;
    }

private:
    TFSyncMain& window_;
    tProfile& profile_;
    UiPort& inner_;
};

// ---------------------------------------------------------------------------------------
// Creation and layout

TFSyncMain::TFSyncMain(bool autostart, QWidget* parent)
    : tNxForm<QMainWindow>(parent),
      store_(std::make_unique<tPreferences>(PreferencesFileName())),
      autostart_(autostart),
      scheduler_(std::make_unique<tScheduler>(*store_, [this] { return Now(); })) {
    mainWindow = this;
    setObjectName("FSyncMain");
    setWindowTitle(QStringLiteral("Corvane"));
    Dialogs.Info = [](std::string_view text) { gui::ShowInfo(text); };
    Dialogs.Question = [](std::string_view text) { return gui::AskQuestion(text); };
    Dialogs.Decision = [](std::string_view q) { return gui::AskDecision(q, true, false, "Corvane"); };
    Dialogs.Choose = [](std::string_view prompt, const std::vector<std::string>& options) {
        return gui::ChooseOption(prompt, options, 1);
    };
    Dialogs.Text = [](std::string_view prompt, std::string_view proposed, bool& cancelled) {
        return gui::AskForText(prompt, 200, cancelled, proposed, "");
    };
    NotifyFailure = [](const std::string& name, const std::string& result) {
        NotifyFailedRun(name, result);
    };
    Dialogs.Folder = [this](std::string_view title, std::string_view start) {
        return ToBytes(QFileDialog::getExistingDirectory(this, Q(title), FromBytes(std::string(start))));
    };
    BuildWindow();
    Connect();
    FormCreate();
    TFCopyingStatus::DatabaseModeSwitchedOff() = [this](tProfile& p) {
        if (p.Name == ComboText()) {
            ProfileToForm(p);
            UpdateControlStates();
        }
    };
}

TFSyncMain::~TFSyncMain() {
    Timer1->stop();
    TFCopyingStatus::DatabaseModeSwitchedOff() = nullptr;
    store_->Flush();
    SetPrefStore(nullptr);
    mainWindow = nullptr;
}

TFSyncMain* TFSyncMain::Instance() { return mainWindow; }

void TFSyncMain::BuildWindow() {
    Help(this, 10);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    tsMain = BuildEditPage();
    tsMultiple = BuildOverviewPage();
    tsScheduler = BuildSchedulerPage();
    tsOptions = BuildOptionsPage();
    tsAbout = BuildAboutPage();
    PageControl1->addTab(tsMain, "  Edit Profiles ");
    PageControl1->addTab(tsMultiple, "  Profile Overview ");
    PageControl1->addTab(tsScheduler, "  Scheduler ");
    PageControl1->addTab(tsOptions, "Options");
    PageControl1->addTab(tsAbout, "  About ");
    setCentralWidget(PageControl1);
    Timer1 = Named(new QTimer(this), "Timer1");

    // The first start shows the initial values; a stored profile replaces them in FormShow.
    tProfile initial;
    SetInitialValues(initial);
    initial.NextRun = std::floor(Now() * 1440.0) / 1440.0;
    ProfileToForm(initial);
    UpdateControlStates();
}

QWidget* TFSyncMain::BuildEditPage() {
    auto* page = Named(new QWidget, "tsMain");
    Help(page, 100);
    auto* fields = new QGridLayout;
    Label10 = Text(page, "Label10", "Profile");
    cbProfile = Named(new QComboBox(page), "cbProfile");
    cbProfile->setEditable(true);
    cbProfile->setInsertPolicy(QComboBox::NoInsert);
    Hint(cbProfile, "When you have saved profiles, they appear in this list and you can select one.");
    Label1 = Text(page, "Label1", "Left Path");
    edLeftPath = Edit(page, "edLeftPath");
    Hint(edLeftPath, "In this field, you enter the left path for the comparison or backup. Click the folder icon to browse for a folder.");
    btBrowseLeft = BrowseButton(page, "btBrowseLeft");
    Label3 = Text(page, "Label3", "Right Path");
    edRightPath = Edit(page, "edRightPath");
    Hint(edRightPath, "In this field, you enter the right path for the comparison or backup. Click the folder icon to browse for a folder.");
    btBrowseRight = BrowseButton(page, "btBrowseRight");
    Label2 = Text(page, "Label2", "Filename Mask(s)");
    cbFileMasks = Edit(page, "cbFileMasks", "(all)");
    Hint(cbFileMasks, "Choose file masks such as *.doc or * or *.xl? in order to specify which files are to be processed.");
    Label11 = Text(page, "Label11", "(separate with semicolon)");
    Label4 = Text(page, "Label4", "But Exclude These");
    cbExcludeMasks = Edit(page, "cbExcludeMasks", "(none)");
    Hint(cbExcludeMasks, "You can exclude certain files such as *.tmp or *.bak.");
    Label12 = Text(page, "Label12", "(separate with semicolon)");
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{Label10, cbProfile},
                                {Label1, edLeftPath}, {Label3, edRightPath},
                                {Label2, cbFileMasks}, {Label4, cbExcludeMasks}})
        label->setBuddy(field);
    for (QWidget* w : {static_cast<QWidget*>(cbProfile), static_cast<QWidget*>(edLeftPath),
                       static_cast<QWidget*>(edRightPath)})
        Help(w, 110);
    Help(cbFileMasks, 120);
    Help(cbExcludeMasks, 120);

    fields->addWidget(Label10, 0, 0);
    fields->addWidget(cbProfile, 0, 1, 1, 2);
    fields->addWidget(Label1, 1, 0);
    fields->addWidget(edLeftPath, 1, 1);
    fields->addWidget(btBrowseLeft, 1, 2);
    fields->addWidget(Label3, 2, 0);
    fields->addWidget(edRightPath, 2, 1);
    fields->addWidget(btBrowseRight, 2, 2);
    auto* masks = new QGridLayout;
    masks->addWidget(Label2, 0, 0);
    masks->addWidget(cbFileMasks, 0, 1);
    masks->addWidget(Label11, 0, 2);
    masks->addWidget(Label4, 1, 0);
    masks->addWidget(cbExcludeMasks, 1, 1);
    masks->addWidget(Label12, 1, 2);
    masks->setColumnStretch(1, 1);
    fields->addLayout(masks, 3, 0, 1, 3);
    fields->setColumnStretch(1, 1);

    cbLeftToRight = Check(page, "cbLeftToRight", "Copy Left To Right", true);
    cbRightToLeft = Check(page, "cbRightToLeft", "Copy Right To Left", true);
    Hint(cbLeftToRight, "It is very important to select the correct direction(s) for the synchronization!");
    Hint(cbRightToLeft, "It is very important to select the correct direction(s) for the synchronization!");
    cbSubfolders = Check(page, "cbSubfolders", "Include Subfolders", true);
    Hint(cbSubfolders, "Check here if subfolders on both sides are to be included in the synchronization process.");
    cbSelectBaseFolderItems = Check(page, "cbSelectBaseFolderItems", "Only Selected Items From Base Folders...");
    Hint(cbSelectBaseFolderItems, "F");
    Help(cbSelectBaseFolderItems, 120);
    HotLinkLabel1 = Named(new QLabel("<a href=\"#edit\">(edit list)</a>", page), "HotLinkLabel1");
    HotLinkLabel1->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    Help(HotLinkLabel1, 120);
    cbVolumeLabel = Check(page, "cbVolumeLabel", "Must have this volume label");
    Hint(cbVolumeLabel, "This setting is used when you make sure that the profile is only run with the correct backup medium inserted");
    cbVolumeLabel->setVisible(false);
    cbVolumeLabel->setEnabled(false);

    auto* boxes = new QGridLayout;
    boxes->addWidget(cbLeftToRight, 0, 0);
    boxes->addWidget(cbRightToLeft, 1, 0);
    boxes->addWidget(cbSubfolders, 0, 1);
    auto* items = new QHBoxLayout;
    items->addWidget(cbSelectBaseFolderItems);
    items->addWidget(HotLinkLabel1);
    items->addStretch();
    boxes->addLayout(items, 1, 1);
    boxes->addWidget(cbVolumeLabel, 2, 0, 1, 2);
    boxes->setColumnStretch(1, 1);

    Label14 = Text(page, "Label14", "More Profile-Specific Settings");
    QFont bold = Label14->font();
    bold.setBold(true);
    Label14->setFont(bold);
    PageControl2 = Named(new QTabWidget(page), "PageControl2");
    Hint(PageControl2, "This area contains various options stored with your profile. Press F1 for detailed help!");
    Help(PageControl2, 130);
    tsModes = BuildModesTab();
    tsMore = BuildMoreTab();
    tsCompare = BuildCompareTab();
    tsSchedule = BuildScheduleTab();
    tsUnattended = BuildUnattendedTab();
    PageControl2->addTab(tsModes, "Modes");
    PageControl2->addTab(tsMore, "More");
    PageControl2->addTab(tsCompare, "Comparison");
    PageControl2->addTab(tsSchedule, "Schedule");
    PageControl2->addTab(tsUnattended, "Unattended");

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(boxes);
    left->addSpacing(4);
    left->addWidget(Label14);
    left->addWidget(PageControl2, 1);

    btRunNow = Button(page, "btRunNow", "Run Now...");
    Hint(btRunNow, "This button starts the synchronization process.");
    QFont strong = btRunNow->font();
    strong.setBold(true);
    btRunNow->setFont(strong);
    btSave = Button(page, "btSave", "Save");
    Hint(btSave, "Use this button to save your settings as a profile.");
    btSaveAs = Button(page, "btSaveAs", "Save As...");
    Hint(btSaveAs, "Saves the profile under a new name, so that you have two copies of it. The latest changes will only be stored with the new name.");
    btRename = Button(page, "btRename", "Rename...");
    Hint(btRename, "Renames your profile.");
    btDelete = Button(page, "btDelete", "Delete");
    Hint(btDelete, "Deletes the profile and displays one of the other saved profiles, so that the settings of the deleted profile are discarded immediately.");
    btNew = Button(page, "btNew", "New...");
    Hint(btNew, "This button will allow you to create a new profile from scratch, or use the currently shown profile as a starting point for the new profile.");
    btDefaults = Button(page, "btDefaults", "Defaults");
    Hint(btDefaults, "Use this button to save your settings as a profile.");
    btExit = Button(page, "btExit", "Exit");
    Hint(btExit, "Click here to quit this application.");
    for (QWidget* w : {btSave, btSaveAs, btRename, btDelete, btNew, btDefaults}) Help(w, 110);
    Help(btRunNow, 120);
    Help(btExit, 120);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btRunNow);
    buttons->addSpacing(10);
    for (QWidget* w : {btSave, btSaveAs, btRename, btDelete, btNew, btDefaults})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(btExit);

    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left, 1);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    return page;
}

QWidget* TFSyncMain::BuildModesTab() {
    auto* tab = Named(new QWidget, "tsModes");
    Help(tab, 130);
    cbDetectMoved = Check(tab, "cbDetectMoved", "Detect If Files Have Been Moved", true);
    cbExactMirror = Check(tab, "cbExactMirror", "Exact Mirror");
    lbExactMirror = Text(tab, "lbExactMirror", "(deletes obsolete files, may overwrite newer files)");
    lbExactMirror->setBuddy(cbExactMirror);
    cbDatabase = Check(tab, "cbDatabase", "Database-Safe: Enforce Exclusive Access");
    cbWait = Check(tab, "cbWait", "Wait For Exclusive Access, max.", true);
    edWaitMins = Number(tab, "edWaitMins", "10");
    Label9 = Text(tab, "Label9", "mins.");
    Label9->setBuddy(edWaitMins);
    Label16 = Text(tab, "Label16", "Use Recycle Bin For");
    cbRecycleOverwrittenFiles = Check(tab, "cbRecycleOverwrittenFiles", "Overwritten");
    cbRecycleDeletedFiles = Check(tab, "cbRecycleDeletedFiles", "Deleted Files", true);
    Label18 = Text(tab, "Label18", "The Recycle Bin is not always available (e.g., not on network drives).");
    for (QWidget* w : {static_cast<QWidget*>(Label16), static_cast<QWidget*>(cbRecycleOverwrittenFiles),
                       static_cast<QWidget*>(cbRecycleDeletedFiles), static_cast<QWidget*>(Label18)})
        w->setVisible(false);

    auto* grid = new QGridLayout(tab);
    grid->addWidget(cbDetectMoved, 0, 0, 1, 2);
    auto* mirror = new QHBoxLayout;
    mirror->addWidget(cbExactMirror);
    mirror->addWidget(lbExactMirror);
    mirror->addStretch();
    grid->addLayout(mirror, 1, 0, 1, 2);
    grid->addWidget(cbDatabase, 2, 0, 1, 2);
    auto* wait = new QHBoxLayout;
    wait->addSpacing(20);
    wait->addWidget(cbWait);
    wait->addWidget(edWaitMins);
    wait->addWidget(Label9);
    wait->addStretch();
    grid->addLayout(wait, 3, 0, 1, 2);
    auto* recycle = new QHBoxLayout;
    recycle->addWidget(Label16);
    recycle->addWidget(cbRecycleOverwrittenFiles);
    recycle->addWidget(cbRecycleDeletedFiles);
    recycle->addStretch();
    grid->addLayout(recycle, 4, 0, 1, 2);
    grid->addWidget(Label18, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
    return tab;
}

QWidget* TFSyncMain::BuildMoreTab() {
    auto* tab = Named(new QWidget, "tsMore");
    Help(tab, 140);
    cbEmptyFolders = Check(tab, "cbEmptyFolders", "Create Empty Folders");
    cbHiddenFiles = Check(tab, "cbHiddenFiles", "Process Hidden Files");
    cbHiddenFolders = Check(tab, "cbHiddenFolders", "Search Hidden Folders");
    cbMultipleVersions = Check(tab, "cbMultipleVersions", "Keep multiple backup versions, max.");
    edMaxVersions = Number(tab, "edMaxVersions", "2");
    edMaxVersions->setEnabled(false);
    cbUseVersionsFolder = Check(tab, "cbUseVersionsFolder", "Move into folder:");
    edVersionsFolder = Edit(tab, "edVersionsFolder", "Older");
    edVersionsFolder->setMaxLength(100);
    cbOlderSubfolder = Check(tab, "cbOlderSubfolder", "As a subfolder in each folder", true);
    rgSymLinks = new tRadioGroup("rgSymLinks", " Symbolic Links ",
                                 {"Follow (Files Only)", "Copy As SymLinks", "Ignore"}, tab);
    rgSymLinks->SetItemIndex(0);

    auto* left = new QVBoxLayout;
    left->addWidget(cbEmptyFolders);
    left->addWidget(cbHiddenFiles);
    left->addWidget(cbHiddenFolders);
    auto* versions = new QHBoxLayout;
    versions->addWidget(cbMultipleVersions);
    versions->addWidget(edMaxVersions);
    versions->addStretch();
    left->addLayout(versions);
    auto* folder = new QHBoxLayout;
    folder->addSpacing(20);
    folder->addWidget(cbUseVersionsFolder);
    folder->addWidget(edVersionsFolder, 1);
    left->addLayout(folder);
    auto* sub = new QHBoxLayout;
    sub->addSpacing(40);
    sub->addWidget(cbOlderSubfolder);
    sub->addStretch();
    left->addLayout(sub);
    left->addStretch();
    auto* layout = new QHBoxLayout(tab);
    layout->addLayout(left, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(rgSymLinks);
    right->addStretch();
    layout->addLayout(right);
    return tab;
}

QWidget* TFSyncMain::BuildCompareTab() {
    auto* tab = Named(new QWidget, "tsCompare");
    Help(tab, 150);
    GroupBox1 = Named(new QGroupBox(" When Size Is Identical ", tab), "GroupBox1");
    cbIgnore2Secs = Check(GroupBox1, "cbIgnore2Secs", "Ignore 1 or 2 Second Time Differences");
    cbIgnore1Hour = Check(GroupBox1, "cbIgnore1Hour", "Ignore Exact 1 Hour Time Differences");
    auto* box = new QVBoxLayout(GroupBox1);
    box->addWidget(cbIgnore2Secs);
    box->addWidget(cbIgnore1Hour);
    auto* layout = new QVBoxLayout(tab);
    auto* row = new QHBoxLayout;
    row->addWidget(GroupBox1);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    return tab;
}

QWidget* TFSyncMain::BuildScheduleTab() {
    auto* tab = Named(new QWidget, "tsSchedule");
    Help(tab, 160);
    cbScheduled = Check(tab, "cbScheduled", "Next Run:");
    pickDate = Named(new QDateEdit(tab), "pickDate");
    pickDate->setCalendarPopup(true);
    pickDate->setDisplayFormat("dd.MM.yyyy");
    pickDate->setMinimumDate(QDate(1899, 12, 30));
    // The popup button takes room the toolkit's size hint does not leave for the text.
    pickDate->setMinimumWidth(pickDate->fontMetrics().horizontalAdvance("00.00.00000") + 44);
    pickTime = Named(new QTimeEdit(tab), "pickTime");
    pickTime->setDisplayFormat("HH:mm:ss");
    cbRepeat = Check(tab, "cbRepeat", "Repeat after", true);
    cbRepeat->setEnabled(false);
    edDays = Number(tab, "edDays", "1");
    Label5 = Text(tab, "Label5", "days,");
    edHours = Number(tab, "edHours", "0");
    Label6 = Text(tab, "Label6", "hours,");
    edMinutes = Number(tab, "edMinutes", "0");
    Label7 = Text(tab, "Label7", "mins.");
    Label5->setBuddy(edDays);
    Label6->setBuddy(edHours);
    Label7->setBuddy(edMinutes);
    rbRepeatWhileNoError = Named(new QRadioButton("Repeat While No Error", tab), "rbRepeatWhileNoError");
    rbRepeatWhileNoError->setChecked(true);
    rbRepeatIndefinitely = Named(new QRadioButton("Repeat Indefinitely", tab), "rbRepeatIndefinitely");
    rbRepeatOnly = Named(new QRadioButton("Only ", tab), "rbRepeatOnly");
    edRepeatTimes = Number(tab, "edRepeatTimes", "5", 999999999);
    Label8 = Text(tab, "Label8", "Times.");
    Label8->setBuddy(edRepeatTimes);
    cbAutoUpdate = Check(tab, "cbAutoUpdate", "Auto-Update");
    cbCacheRight = Check(tab, "cbCacheRight", "Read file list of right path only once (backup medium).");
    Label15 = Text(tab, "Label15", "Last Run:");
    lbLastRun = Text(tab, "lbLastRun", "never");
    Label17 = Text(tab, "Label17", "Result:");
    lbLastRunResult = Text(tab, "lbLastRunResult", "");
    lbLastRunResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbLastRunResult->setMinimumWidth(200);

    auto* next = new QHBoxLayout;
    next->addWidget(cbScheduled);
    next->addWidget(pickDate);
    next->addWidget(pickTime);
    next->addSpacing(12);
    next->addWidget(cbAutoUpdate);
    next->addStretch();
    auto* repeat = new QHBoxLayout;
    repeat->addSpacing(20);
    repeat->addWidget(cbRepeat);
    for (QWidget* w : {static_cast<QWidget*>(edDays), static_cast<QWidget*>(Label5),
                       static_cast<QWidget*>(edHours), static_cast<QWidget*>(Label6),
                       static_cast<QWidget*>(edMinutes), static_cast<QWidget*>(Label7)})
        repeat->addWidget(w);
    repeat->addStretch();
    auto* modes = new QGridLayout;
    modes->setColumnMinimumWidth(0, 40);
    modes->addWidget(rbRepeatWhileNoError, 0, 1);
    modes->addWidget(rbRepeatIndefinitely, 1, 1);
    auto* only = new QHBoxLayout;
    only->addWidget(rbRepeatOnly);
    only->addWidget(edRepeatTimes);
    only->addWidget(Label8);
    only->addStretch();
    modes->addLayout(only, 2, 1);
    auto* last = new QGridLayout;
    last->addWidget(Label15, 0, 0);
    last->addWidget(lbLastRun, 0, 1);
    last->addWidget(Label17, 1, 0);
    last->addWidget(lbLastRunResult, 1, 1);
    last->setColumnStretch(1, 1);
    auto* lower = new QHBoxLayout;
    lower->addLayout(modes);
    auto* rightSide = new QVBoxLayout;
    rightSide->addWidget(cbCacheRight);
    rightSide->addLayout(last);
    rightSide->addStretch();
    lower->addSpacing(10);
    lower->addLayout(rightSide, 1);

    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(next);
    layout->addLayout(repeat);
    layout->addLayout(lower);
    layout->addStretch();
    return tab;
}

QWidget* TFSyncMain::BuildUnattendedTab() {
    auto* tab = Named(new QWidget, "tsUnattended");
    Help(tab, 170);
    Label13 = Text(tab, "Label13", "For This Profile, Use Unattended Mode:");
    cbUA_WhenScheduled = Named(new QRadioButton("When Running Scheduled", tab), "cbUA_WhenScheduled");
    cbUA_WhenScheduled->setChecked(true);
    cbUnattended = Named(new QRadioButton("Always", tab), "cbUnattended");
    Label13->setBuddy(cbUA_WhenScheduled);
    cbUA_OverwriteReadOnly = Check(tab, "cbUA_OverwriteReadOnly", "Overwrite Read-Only Files", true);
    cbUA_OverwriteLarger = Check(tab, "cbUA_OverwriteLarger", "Overwrite Larger Files With Smaller Ones If File Dates Require It", true);
    cbUA_DeleteFiles = Check(tab, "cbUA_DeleteFiles", "Exact Mirror Mode May Delete Files");
    cbUA_OverwriteNewer = Check(tab, "cbUA_OverwriteNewer", "Exact Mirror Mode May Overwrite Newer Files");
    auto* layout = new QVBoxLayout(tab);
    auto* mode = new QHBoxLayout;
    mode->addWidget(Label13);
    mode->addWidget(cbUA_WhenScheduled);
    mode->addWidget(cbUnattended);
    mode->addStretch();
    layout->addLayout(mode);
    for (QWidget* w : {cbUA_OverwriteReadOnly, cbUA_OverwriteLarger, cbUA_DeleteFiles, cbUA_OverwriteNewer})
        layout->addWidget(w);
    layout->addStretch();
    return tab;
}

QWidget* TFSyncMain::BuildOverviewPage() {
    auto* page = Named(new QWidget, "tsMultiple");
    auto* group = Named(new QGroupBox(" Choose Profiles To Run Now ", page), "GroupBox2");
    clbMultiple = Named(new QListWidget(group), "clbMultiple");
    clbMultiple->setSpacing(1);
    auto* box = new QVBoxLayout(group);
    box->addWidget(clbMultiple);
    btRunMultipleNow = Button(page, "btRunMultipleNow", "Run");
    btNowAll = Button(page, "btNowAll", "All");
    btNowNone = Button(page, "btNowNone", "None");
    btEdit = Button(page, "btEdit", "Edit Profile");
    btSchedule = Button(page, "btSchedule", "Schedule");
    LMDButton1 = Button(page, "LMDButton1", "Exit");
    cbRunNowUnattended = Check(page, "cbRunNowUnattended", "Run All Unattended");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btRunMultipleNow);
    buttons->addWidget(cbRunNowUnattended);
    buttons->addSpacing(10);
    for (QWidget* w : {btNowAll, btNowNone, btEdit, btSchedule}) buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(LMDButton1);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    return page;
}

QWidget* TFSyncMain::BuildSchedulerPage() {
    auto* page = Named(new QWidget, "tsScheduler");
    lbStatus = Text(page, "lbStatus", "Scheduler is inactive.");
    auto* group = Named(new QGroupBox(" Profiles ", page), "GroupBox3");
    grdProfiles = Named(new QTableWidget(0, 4, group), "grdProfiles");
    grdProfiles->setHorizontalHeaderLabels({"Next Run", "Profile Name", "Left/Right Folders", "Last Run"});
    const int widths[] = {60, 150, 220, 150};
    for (int c = 0; c < 4; ++c) grdProfiles->setColumnWidth(c, widths[c]);
    // A date is wider than 60 pixels in most fonts: the column takes what its text needs.
    grdProfiles->setColumnWidth(0, std::max(widths[0], grdProfiles->fontMetrics().horizontalAdvance("00.00.0000") + 10));
    grdProfiles->horizontalHeader()->setStretchLastSection(true);
    grdProfiles->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The header keeps one look whichever row is selected.
    grdProfiles->horizontalHeader()->setHighlightSections(false);
    grdProfiles->horizontalHeader()->setFixedHeight(std::max(17, grdProfiles->fontMetrics().height() + 4));
    grdProfiles->verticalHeader()->setVisible(false);
    grdProfiles->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdProfiles->verticalHeader()->setDefaultSectionSize(std::max(34, 2 * grdProfiles->fontMetrics().height() + 4));
    grdProfiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdProfiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdProfiles->setSelectionMode(QAbstractItemView::SingleSelection);
    grdProfiles->setWordWrap(false);
    grdProfiles->setItemDelegate(new tProfileGridDelegate(this));
    auto* box = new QVBoxLayout(group);
    box->addWidget(grdProfiles);
    btScheduler = Button(page, "btScheduler", "Start Scheduler");
    cbOnlyScheduledProfiles = Check(page, "cbOnlyScheduledProfiles", "Show only scheduled profiles", true);
    btExit3 = Button(page, "btExit3", "Exit");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btScheduler);
    bottom->addWidget(cbOnlyScheduledProfiles);
    bottom->addStretch();
    bottom->addWidget(btExit3);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(lbStatus);
    layout->addWidget(group, 1);
    layout->addLayout(bottom);
    return page;
}

QWidget* TFSyncMain::BuildOptionsPage() {
    auto* page = Named(new QWidget, "tsOptions");
    Help(page, 10);
    rgLogging = new tRadioGroup("rgLogging", " Logging ",
                                {"none", "one common log file", "separate log file for each profile",
                                 "separate log file for each run"},
                                page);
    Label19 = Text(page, "Label19", "Path for logging");
    edLogPath = Edit(page, "edLogPath");
    Hint(edLogPath, "In this field, you specify the folder for log files.");
    Label19->setBuddy(edLogPath);
    btBrowseLog = BrowseButton(page, "btBrowseLog");
    Label22 = Text(page, "Label22", "Buffer size for copying files:");
    edBufSize = Number(page, "edBufSize", "1024", 10240);
    Label22->setBuddy(edBufSize);
    Label20 = Text(page, "Label20", "kB");
    Label21 = Text(page, "Label21", "Using a smaller buffer size may be necessary with slower media.");
    cbAutostart = Check(page, "cbAutostart", "Start the scheduler when I log in");
    Hint(cbAutostart, "Starts this program with its scheduler running each time you log in to your desktop.");

    auto* layout = new QVBoxLayout(page);
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
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addWidget(cbAutostart);
    layout->addStretch();
    return page;
}

QWidget* TFSyncMain::BuildAboutPage() {
    auto* page = Named(new QWidget, "tsAbout");
    auto* product = Text(page, "lbProduct", "Corvane");
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    product->setFont(big);
    auto* what = Text(page, "lbPurpose", "Synchronizes and backs up pairs of folder trees.");
    lbVersion = Text(page, "lbVersion", "");
    lbBuild = Text(page, "lbBuild", "");
    LMDButton2 = Button(page, "LMDButton2", "Exit");
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    for (QLabel* l : {product, what, lbVersion, lbBuild}) {
        l->setAlignment(Qt::AlignHCenter);
        layout->addWidget(l);
    }
    layout->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(LMDButton2);
    layout->addLayout(bottom);
    return page;
}

void TFSyncMain::Connect() {
    auto click = [this](QAbstractButton* b, void (TFSyncMain::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    click(btRunNow, &TFSyncMain::btRunNowClick);
    click(btSave, &TFSyncMain::btSaveClick);
    click(btSaveAs, &TFSyncMain::btSaveAsClick);
    click(btRename, &TFSyncMain::btRenameClick);
    click(btDelete, &TFSyncMain::btDeleteClick);
    click(btNew, &TFSyncMain::btNewClick);
    click(btDefaults, &TFSyncMain::btDefaultsClick);
    for (QAbstractButton* b : {btExit, LMDButton1, btExit3, LMDButton2})
        click(b, &TFSyncMain::btExitClick);
    click(cbLeftToRight, &TFSyncMain::cbRightToLeftClick);
    click(cbRightToLeft, &TFSyncMain::cbRightToLeftClick);
    click(cbExactMirror, &TFSyncMain::cbExactMirrorClick);
    click(cbDatabase, &TFSyncMain::cbDatabaseClick);
    click(cbWait, &TFSyncMain::cbWaitClick);
    click(cbMultipleVersions, &TFSyncMain::cbMultipleVersionsClick);
    click(cbUseVersionsFolder, &TFSyncMain::cbUseVersionsFolderClick);
    click(cbScheduled, &TFSyncMain::cbScheduledClick);
    click(cbAutoUpdate, &TFSyncMain::cbScheduledClick);
    click(cbRepeat, &TFSyncMain::cbRepeatClick);
    for (QAbstractButton* b : {rbRepeatWhileNoError, rbRepeatIndefinitely, rbRepeatOnly})
        click(b, &TFSyncMain::rbRepeatOnlyClick);
    click(cbSelectBaseFolderItems, &TFSyncMain::cbSelectBaseFolderItemsChange);
    click(cbVolumeLabel, &TFSyncMain::cbVolumeLabelChange);
    connect(HotLinkLabel1, &QLabel::linkActivated, this, [this] { HotLinkLabel1Click(); });
    connect(edVersionsFolder, &QLineEdit::editingFinished, this, [this] { edVersionsFolderExit(); });
    connect(rgLogging, &tRadioGroup::Clicked, this, [this] { rgLoggingClick(); });
    click(cbAutostart, &TFSyncMain::cbAutostartClick);
    click(btScheduler, &TFSyncMain::btSchedulerClick);
    click(cbOnlyScheduledProfiles, &TFSyncMain::cbOnlyScheduledProfilesChange);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    click(btRunMultipleNow, &TFSyncMain::btRunMultipleNowClick);
    click(btNowAll, &TFSyncMain::btNowAllClick);
    click(btNowNone, &TFSyncMain::btNowNoneClick);
    click(btEdit, &TFSyncMain::btEditClick);
    click(btSchedule, &TFSyncMain::btScheduleClick);
    connect(cbProfile, &QComboBox::currentIndexChanged, this, [this] { cbProfileChange(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (switchingBack_) return;
        if (!PageControl1Changing(shownTab_)) {
            switchingBack_ = true;
            PageControl1->setCurrentWidget(tsScheduler);
            switchingBack_ = false;
            shownTab_ = PageControl1->currentIndex();
            return;
        }
        shownTab_ = index;
        PageControl1Change();
    });
    connect(btBrowseLeft, &QToolButton::clicked, this, [this] { Browse(edLeftPath, "Left Path"); });
    connect(btBrowseRight, &QToolButton::clicked, this, [this] { Browse(edRightPath, "Right Path"); });
    connect(btBrowseLog, &QToolButton::clicked, this, [this] { Browse(edLogPath, "Path for logging"); });
}

void TFSyncMain::Browse(QLineEdit* edit, const char* title) {
    const std::string chosen = Dialogs.Folder(title, ToBytes(edit->text()));
    if (!chosen.empty()) edit->setText(FromBytes(chosen));
}

// ---------------------------------------------------------------------------------------
// Window events

void TFSyncMain::FormCreate() {
    setWindowTitle(windowTitle() + " " + kVersion);
    lbVersion->setText(QString("v") + kVersion);
    lbBuild->setText("build " + QString::number(CORVANE_BUILD));
    SetEnglishDialogTexts();
    store_->Load();
    SetPrefStore(store_.get());
    RunSettings() = ReadMainSettings();
}

void TFSyncMain::FormShow() {
    showing_ = true;
    if (auto* progress = TFProgress::Instance()) progress->SetEnglishTexts();
    PageControl1->setCurrentWidget(tsMain);
    PageControl2->setCurrentWidget(tsModes);
    FillProfileLists(ReadPref("CurrentProfileName", "Main"), false, Now(), false);
    edLogPath->setText(FromBytes(ReadPref("LogFolder", "Main")));
    const int bufSize = ParseBufSize(ReadPref("BufSize", "Main"));
    edBufSize->setText(QString::number(bufSize));
    RunSettings().BufSizeKB = bufSize;
    rgLogging->SetItemIndex(ParseIntOr(ReadPref("Logging", "Main"), 0));
    if (edLogPath->text().isEmpty()) edLogPath->setText(FromBytes(DefaultLogFolder()));
    LoadCurrentProfile();
    loaded_ = true;
    if (autostart_ && !schedulerStarted_) {
        // The scheduler's steps run on Timer1; starting it is the scheduler's part.
        schedulerStarted_ = true;
        autostartPending_ = true;
        PageControl1->setCurrentWidget(tsScheduler);
        FillProfileLists(currentName_, true, Now(), false);
        Timer1->start(100);
    }
    cbAutostart->setChecked(AutostartEnabled());
    const int tab = ParseIntOr(ReadPref("CurrentTabSheet", "Main"), 0);
    if (tab >= 0 && tab < PageControl1->count()) PageControl1->setCurrentIndex(tab);
    shownTab_ = PageControl1->currentIndex();
    if (!FormCanResize(0, 0)) setFixedSize(size().expandedTo(sizeHint()));
    showing_ = false;
}

void TFSyncMain::FormClose() {
    WritePref("CurrentProfileName", currentName_, "Main");
    WritePref("CurrentTabSheet", std::to_string(PageControl1->currentIndex()), "Main");
    WritePref("BufSize", S(edBufSize->text()), "Main");
}

bool TFSyncMain::FormCanResize(int, int) { return false; }

void TFSyncMain::FormActivate() {
    // Windows that belong in front of the main window while they are open.
    for (const char* name : {"FSelectItems", "FInfoChoice", "FSyncStatus"}) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != this && w->objectName() == name && w->isVisible() && w->isEnabled()) {
                w->activateWindow();
                w->raise();
                return;
            }
        }
    }
}

void TFSyncMain::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    tNxForm<QMainWindow>::showEvent(event);
}

void TFSyncMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        // Cancel the run at its next poll point; the window closes once it has ended.
        closePending_ = true;
        if (running_->CopyingWindow) running_->CopyingWindow->Cancelled = true;
        event->ignore();
        return;
    }
    if (!exitAsked_) AskToSaveChangesOfShownName();
    exitAsked_ = false;
    FormClose();
    tNxForm<QMainWindow>::closeEvent(event);
}

void TFSyncMain::changeEvent(QEvent* event) {
    tNxForm<QMainWindow>::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TFSyncMain::btExitClick() {
    AskToSaveChangesOfShownName();
    exitAsked_ = true;
    close();
}

bool TFSyncMain::PageControl1Changing(int leaving) {
    if (showing_ || !isVisible()) return true;
    if (SchedulerActive()) {
        Dialogs.Info("Please stop the scheduler first");
        return false;
    }
    if (PageControl1->widget(leaving) == tsMain) AskToSaveChangesOfShownName();
    return true;
}

void TFSyncMain::PageControl1Change() {
    QWidget* page = PageControl1->currentWidget();
    if (page == tsScheduler) {
        FillProfileLists(currentName_, true, Now(), false);
        // Only a page the user chose says so; the page shown at start-up does not.
        if (grdProfiles->rowCount() == 0 && !showing_) Dialogs.Info(kNoScheduledProfiles);
    } else if (page == tsMultiple)
        FillProfileLists(currentName_, false, Now(), true);
    else
        LoadCurrentProfile();
}

void TFSyncMain::rgLoggingClick() {
    const int index = rgLogging->ItemIndex();
    WritePref("Logging", std::to_string(index), "Main");
    RunSettings().Logging = index;
}

// ---------------------------------------------------------------------------------------
// Edit page <-> profile

bool TFSyncMain::Effective(const QCheckBox* box) const {
    return box->isChecked() && box->isEnabled();
}

std::string TFSyncMain::ComboText() const { return S(cbProfile->currentText()); }

void TFSyncMain::SetComboText(const std::string& text) { cbProfile->setEditText(Q(text)); }

void TFSyncMain::SelectComboIndex(int index) {
    const bool was = updatingList_;
    updatingList_ = true;
    cbProfile->setCurrentIndex(index);
    updatingList_ = was;
}

void TFSyncMain::ProfileFromForm(tProfile& p) {
    const tDateTime now = Now();
    p.Name = ComboText();
    p.LeftPath = TrimField(ToBytes(edLeftPath->text())).substr(0, 255);
    p.RightPath = TrimField(ToBytes(edRightPath->text())).substr(0, 255);
    p.FileMasks = ToBytes(cbFileMasks->text());
    p.ExcludeMasks = ToBytes(cbExcludeMasks->text());

    p.NextRun = DayNumber(pickDate->date(), pickTime->time());
    p.Days = ParseIntOr(S(edDays->text()), 0);
    p.Hours = ParseIntOr(S(edHours->text()), 0);
    p.Minutes = ParseIntOr(S(edMinutes->text()), 0);
    if (cbAutoUpdate->isChecked() && cbScheduled->isChecked() && now + kNextRunMargin > p.NextRun)
        AdvanceNextRun(p, p.NextRun, now, &advance_);
    p.Scheduled = cbScheduled->isChecked() && now < p.NextRun;

    p.RepeatMode = rbRepeatIndefinitely->isChecked() ? 1 : rbRepeatOnly->isChecked() ? 2 : 0;
    p.RepeatTimes = ParseIntOr(S(edRepeatTimes->text()), 1);
    p.WaitMins = ParseIntOr(S(edWaitMins->text()), 10);
    p.Unattended = cbUnattended->isChecked();

    p.LastRun = ParseDateTime(S(lbLastRun->text())).value_or(0.0);
    p.LastRunResult = S(lbLastRunResult->text());

    p.MaxVersions = ParseIntOr(S(edMaxVersions->text()), 2);
    p.MultipleVersions = cbMultipleVersions->isChecked() && p.MaxVersions > 0;
    p.VersionsFolder = WithoutChars(Trim(ToBytes(edVersionsFolder->text())), "<>*?|\"/");
    if (p.VersionsFolder.empty()) p.VersionsFolder = "Older";

    p.VolumeLabel.clear();
    p.BaseFolderItems = baseFolderItems_;

    p.Ignore2Secs = cbIgnore2Secs->isChecked();
    p.Ignore1Hour = cbIgnore1Hour->isChecked();
    p.SymLinks = std::max(0, rgSymLinks->ItemIndex());
    p.Repeat = cbRepeat->isChecked();
    p.Database = cbDatabase->isChecked();
    p.Wait = cbWait->isChecked();
    p.Subfolders = cbSubfolders->isChecked();
    p.RightToLeft = cbRightToLeft->isChecked();
    p.LeftToRight = cbLeftToRight->isChecked();
    p.DetectMoved = cbDetectMoved->isChecked();
    p.SelectBaseFolderItems = cbSelectBaseFolderItems->isChecked();
    // A disabled exact-mirror box (both directions) never stores exact mirror.
    p.ExactMirror = Effective(cbExactMirror);
    p.EmptyFolders = cbEmptyFolders->isChecked();
    p.UA_OverwriteReadOnly = cbUA_OverwriteReadOnly->isChecked();
    p.UA_OverwriteLarger = cbUA_OverwriteLarger->isChecked();
    p.UA_OverwriteNewer = cbUA_OverwriteNewer->isChecked();
    p.UA_DeleteFiles = cbUA_DeleteFiles->isChecked();
    p.RecycleOverwrittenFiles = cbRecycleOverwrittenFiles->isChecked();
    p.RecycleDeletedFiles = cbRecycleDeletedFiles->isChecked();
    p.HiddenFiles = cbHiddenFiles->isChecked();
    p.HiddenFolders = cbHiddenFolders->isChecked();
    p.UseVersionsFolder = cbUseVersionsFolder->isChecked();
    p.OlderSubfolder = cbOlderSubfolder->isChecked();
    p.CacheRight = cbCacheRight->isChecked();
    p.AutoUpdate = cbAutoUpdate->isChecked();
}

void TFSyncMain::ProfileToForm(tProfile& p) {
    const tDateTime now = Now();
    advance_.Clear();
    SetComboText(p.Name);
    edLeftPath->setText(FromBytes(TrimField(p.LeftPath)));
    edRightPath->setText(FromBytes(TrimField(p.RightPath)));
    cbFileMasks->setText(FromBytes(p.FileMasks));
    cbExcludeMasks->setText(FromBytes(p.ExcludeMasks));

    if (p.AutoUpdate && p.Scheduled && now + kNextRunMargin > p.NextRun)
        AdvanceNextRun(p, p.NextRun, now, &advance_);
    cbScheduled->setChecked(p.Scheduled && now < p.NextRun);
    pickDate->setDate(DateOf(p.NextRun));
    pickTime->setTime(TimeOf(p.NextRun));

    rbRepeatWhileNoError->setChecked(p.RepeatMode == 0);
    if (p.RepeatMode & 1) rbRepeatIndefinitely->setChecked(true);
    if (p.RepeatMode & 2) rbRepeatOnly->setChecked(true);
    (p.Unattended ? cbUnattended : cbUA_WhenScheduled)->setChecked(true);

    cbLeftToRight->setChecked(p.LeftToRight);
    cbRightToLeft->setChecked(p.RightToLeft);
    cbSelectBaseFolderItems->setChecked(p.SelectBaseFolderItems);
    baseFolderItems_ = p.BaseFolderItems;
    cbExactMirror->setChecked(p.ExactMirror);
    // After the exact-mirror box, so that a stored exact mirror with both directions is shown
    // (and stored again) unticked.
    cbRightToLeftClick();

    lbLastRun->setText(p.LastRun > kLastRunShownAfter ? Q(DateTimeText(p.LastRun)) : "never");
    lbLastRunResult->setText(Q(p.LastRunResult));

    if (p.MaxVersions > 0) {
        edMaxVersions->setText(QString::number(p.MaxVersions));
        cbMultipleVersions->setChecked(p.MultipleVersions);
    } else {
        edMaxVersions->setText("0");
        cbMultipleVersions->setChecked(false);
    }
    edVersionsFolder->setText(FromBytes(WithoutChars(p.VersionsFolder, "/")));

    cbVolumeLabel->setChecked(!p.VolumeLabel.empty());
    cbVolumeLabel->setText(p.VolumeLabel.empty() ? QString("Must have this volume label")
                                                 : "Vol. must be: " + FromBytes(p.VolumeLabel));

    cbIgnore2Secs->setChecked(p.Ignore2Secs);
    cbIgnore1Hour->setChecked(p.Ignore1Hour);
    rgSymLinks->SetItemIndex(std::clamp(p.SymLinks, 0, 2));
    cbRepeat->setChecked(p.Repeat);
    edDays->setText(QString::number(p.Days));
    edHours->setText(QString::number(p.Hours));
    edMinutes->setText(QString::number(p.Minutes));
    edRepeatTimes->setText(QString::number(p.RepeatTimes));
    cbDatabase->setChecked(p.Database);
    cbWait->setChecked(p.Wait);
    edWaitMins->setText(QString::number(p.WaitMins));
    cbSubfolders->setChecked(p.Subfolders);
    cbDetectMoved->setChecked(p.DetectMoved);
    cbEmptyFolders->setChecked(p.EmptyFolders);
    cbUA_OverwriteReadOnly->setChecked(p.UA_OverwriteReadOnly);
    cbUA_OverwriteLarger->setChecked(p.UA_OverwriteLarger);
    cbUA_OverwriteNewer->setChecked(p.UA_OverwriteNewer);
    cbUA_DeleteFiles->setChecked(p.UA_DeleteFiles);
    cbRecycleOverwrittenFiles->setChecked(p.RecycleOverwrittenFiles);
    cbRecycleDeletedFiles->setChecked(p.RecycleDeletedFiles);
    cbHiddenFiles->setChecked(p.HiddenFiles);
    cbHiddenFolders->setChecked(p.HiddenFolders);
    cbUseVersionsFolder->setChecked(p.UseVersionsFolder);
    cbOlderSubfolder->setChecked(p.OlderSubfolder);
    cbCacheRight->setChecked(p.CacheRight);
    cbAutoUpdate->setChecked(p.AutoUpdate);
}

// The fields the "Defaults" button resets.
void TFSyncMain::ShowModeDefaults(const tProfile& d) {
    cbDetectMoved->setChecked(d.DetectMoved);
    cbExactMirror->setChecked(d.ExactMirror);
    cbDatabase->setChecked(d.Database);
    cbWait->setChecked(d.Wait);
    edWaitMins->setText(QString::number(d.WaitMins));
    cbRecycleOverwrittenFiles->setChecked(d.RecycleOverwrittenFiles);
    cbRecycleDeletedFiles->setChecked(d.RecycleDeletedFiles);
    cbHiddenFiles->setChecked(d.HiddenFiles);
    cbHiddenFolders->setChecked(d.HiddenFolders);
    cbEmptyFolders->setChecked(d.EmptyFolders);
    cbMultipleVersions->setChecked(d.MultipleVersions);
    edMaxVersions->setText(QString::number(d.MaxVersions));
    cbUseVersionsFolder->setChecked(d.UseVersionsFolder);
    edVersionsFolder->setText(Q(d.VersionsFolder));
    cbOlderSubfolder->setChecked(d.OlderSubfolder);
    rgSymLinks->SetItemIndex(d.SymLinks);
    cbIgnore2Secs->setChecked(d.Ignore2Secs);
    cbIgnore1Hour->setChecked(d.Ignore1Hour);
    cbScheduled->setChecked(d.Scheduled);
    cbRepeat->setChecked(d.Repeat);
    edDays->setText(QString::number(d.Days));
    edHours->setText(QString::number(d.Hours));
    edMinutes->setText(QString::number(d.Minutes));
    rbRepeatWhileNoError->setChecked(d.RepeatMode == 0);
    (d.Unattended ? cbUnattended : cbUA_WhenScheduled)->setChecked(true);
    cbUA_OverwriteReadOnly->setChecked(d.UA_OverwriteReadOnly);
    cbUA_OverwriteLarger->setChecked(d.UA_OverwriteLarger);
    cbUA_OverwriteNewer->setChecked(d.UA_OverwriteNewer);
    cbUA_DeleteFiles->setChecked(d.UA_DeleteFiles);
}

// ---------------------------------------------------------------------------------------
// Enable rules

void TFSyncMain::UpdateControlStates() {
    rbRepeatOnlyClick();
    cbRepeatClick();
    cbScheduledClick();
    cbDatabaseClick();
    cbWaitClick();
    cbMultipleVersionsClick();
    cbUseVersionsFolderClick();
    cbExactMirrorClick();
}

void TFSyncMain::cbRightToLeftClick() {
    const bool both = cbLeftToRight->isChecked() && cbRightToLeft->isChecked();
    cbExactMirror->setEnabled(!both);
    lbExactMirror->setEnabled(!both);
    if (both) cbExactMirror->setChecked(false);
    cbCacheRight->setEnabled(cbLeftToRight->isChecked() && !cbRightToLeft->isChecked());
    cbExactMirrorClick();
}

void TFSyncMain::cbExactMirrorClick() {
    const bool on = !Effective(cbExactMirror);
    for (QWidget* w : {static_cast<QWidget*>(cbFileMasks), static_cast<QWidget*>(cbExcludeMasks),
                       static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label4),
                       static_cast<QWidget*>(Label11), static_cast<QWidget*>(Label12)})
        w->setEnabled(on);
}

void TFSyncMain::cbDatabaseClick() {
    cbWait->setEnabled(cbDatabase->isChecked());
    cbWaitClick();
}

void TFSyncMain::cbWaitClick() {
    const bool on = Effective(cbWait);
    edWaitMins->setEnabled(on);
    Label9->setEnabled(on);
    if (cbWait->isChecked() && !IsNumberOtherThanZero(edWaitMins->text())) edWaitMins->setText("60");
}

void TFSyncMain::cbMultipleVersionsClick() {
    const bool on = cbMultipleVersions->isChecked();
    edMaxVersions->setEnabled(on);
    cbUseVersionsFolder->setEnabled(on);
    cbUseVersionsFolderClick();
}

void TFSyncMain::cbUseVersionsFolderClick() {
    const bool on = Effective(cbUseVersionsFolder);
    edVersionsFolder->setEnabled(on);
    cbOlderSubfolder->setEnabled(on);
    if (edVersionsFolder->text().trimmed().isEmpty()) edVersionsFolder->setText("Older");
}

void TFSyncMain::edVersionsFolderExit() {
    const std::string name = ToBytes(edVersionsFolder->text());
    const std::string cleaned = WithoutChars(name, "/");
    if (cleaned == name) return;
    Dialogs.Info("Illegal characters were removed from the folder name");
    edVersionsFolder->setText(FromBytes(cleaned));
}

void TFSyncMain::cbScheduledClick() {
    const bool on = cbScheduled->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(pickDate), static_cast<QWidget*>(pickTime),
                       static_cast<QWidget*>(cbRepeat), static_cast<QWidget*>(cbAutoUpdate)})
        w->setEnabled(on);
    cbRepeatClick();
    cbScheduledChange();
}

void TFSyncMain::cbScheduledChange() {
    if (!cbScheduled->isChecked()) return;
    const double interval = RepeatInterval(ParseIntOr(S(edDays->text()), 0),
                                           ParseIntOr(S(edHours->text()), 0),
                                           ParseIntOr(S(edMinutes->text()), 0));
    const tDateTime t =
        TickedNextRun(DayNumber(pickDate->date(), pickTime->time()), interval, Now());
    pickDate->setDate(DateOf(t));
    pickTime->setTime(TimeOf(t));
}

void TFSyncMain::cbRepeatClick() {
    const bool on = Effective(cbRepeat);
    for (QWidget* w : {static_cast<QWidget*>(edDays), static_cast<QWidget*>(edHours),
                       static_cast<QWidget*>(edMinutes), static_cast<QWidget*>(Label5),
                       static_cast<QWidget*>(Label6), static_cast<QWidget*>(Label7),
                       static_cast<QWidget*>(rbRepeatWhileNoError),
                       static_cast<QWidget*>(rbRepeatIndefinitely),
                       static_cast<QWidget*>(rbRepeatOnly)})
        w->setEnabled(on);
    rbRepeatOnlyClick();
}

void TFSyncMain::rbRepeatOnlyClick() {
    const bool on = rbRepeatOnly->isChecked() && rbRepeatOnly->isEnabled();
    edRepeatTimes->setEnabled(on);
    Label8->setEnabled(on);
}

int TFSyncMain::EditBaseFolderItems() {
    tProfile p;
    ProfileFromForm(p);
    auto hasItems = [](const std::string& folder) {
        std::error_code ec;
        if (folder.empty()) return false;
        std::filesystem::directory_iterator it(folder, ec);
        return !ec && it != std::filesystem::directory_iterator();
    };
    if (!hasItems(p.LeftPath) && !hasItems(p.RightPath)) return 2;
    if (!BaseFolderItemsDialog) return 2;
    std::string selection = baseFolderItems_;
    const int result = BaseFolderItemsDialog(p, selection);
    if (result != 2) baseFolderItems_ = selection;
    return result;
}

void TFSyncMain::cbSelectBaseFolderItemsChange() {
    if (cbSelectBaseFolderItems->isChecked() && loaded_ && EditBaseFolderItems() == 2)
        cbSelectBaseFolderItems->setChecked(false);
}

void TFSyncMain::HotLinkLabel1Click() { baseFolderItemsOk_ = EditBaseFolderItems() == 1; }

void TFSyncMain::cbVolumeLabelChange() {
    if (!cbVolumeLabel->isChecked()) {
        cbVolumeLabel->setText("Must have this volume label");
        return;
    }
    const std::string right = TrimField(ToBytes(edRightPath->text()));
    const std::string label = GetVolumeLabel(right);
    if (label.empty()) {
        std::string root;
        try {
            root = RootOfPath(right);
        } catch (const std::exception&) {
        }
        Dialogs.Info("Could not get the volume label for drive \"" + root);
        cbVolumeLabel->setChecked(false);
        return;
    }
    cbVolumeLabel->setText("Vol. must be: " + FromBytes(label));
}

// ---------------------------------------------------------------------------------------
// Profile management

void TFSyncMain::FillProfileLists(const std::string& select, bool withGrid, tDateTime now,
                                  bool withOverview) {
    updatingList_ = true;
    dangerListed_ = false;
    if (withGrid) grdProfiles->setRowCount(0);
    if (withOverview) clbMultiple->clear();
    cbProfile->clear();
    int selected = -1;
    for (const std::string& name : StoredProfileNames(*store_)) {
        cbProfile->addItem(Q(name));
        if (name == select) selected = cbProfile->count() - 1;
        if (!withOverview) continue;
        tProfile p;
        p.LastRunResult = store_->Read("rep_" + name, "Reports");
        DecodeOptions(p, store_->Read("opt_" + name, "Profiles"));
        if (withOverview) {
            auto* item = new QListWidgetItem(Q(name) + "    ( " + FromBytes(p.LeftPath) + "  <->  " +
                                                 FromBytes(p.RightPath) + " )",
                                             clbMultiple);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            item->setData(kProfileNameRole, Q(name));
            item->setToolTip(item->text());
        }
    }
    if (withGrid) {
        // The rows keep their due times beside the texts; the search reads those.
        scheduler_->OnlyScheduled = cbOnlyScheduledProfiles->isChecked();
        scheduler_->Rebuild(now);
        dangerListed_ = scheduler_->DangerListed();
        ShowScheduleRows();
    }
    cbProfile->setCurrentIndex(selected >= 0 ? selected : cbProfile->count() > 0 ? 0 : -1);
    updatingList_ = false;
}

void TFSyncMain::LoadCurrentProfile() {
    modified_ = false;
    const std::string name = ComboText();
    if (auto p = LoadStoredProfile(*store_, name)) ProfileToForm(*p);
    UpdateControlStates();
    currentName_ = name;
}

bool TFSyncMain::SaveProfile(const std::string& name) {
    if (name.empty()) return false;
    tProfile p;
    ProfileFromForm(p);
    p.Name = name;
    if (std::string problem = StoreProfile(*store_, p); !problem.empty()) {
        Dialogs.Info(problem);
        return false;
    }
    if (std::string error = store_->Flush(); !error.empty()) Dialogs.Info(error);
    modified_ = false;
    return true;
}

bool TFSyncMain::IsProfileModified() {
    if (modified_) return true;
    if (currentName_.empty()) return false;
    tProfile edited;
    ProfileFromForm(edited);
    return DiffersFromStored(*store_, currentName_, edited, advance_.LastAdvanceOld,
                             advance_.LastAdvanceNew);
}

void TFSyncMain::AskToSaveChanges(const std::string& name) {
    if (!IsProfileModified()) return;
    if (Trim(name).empty()) {
        if (Dialogs.Decision("Save changes to current profile?") == 1) SaveAs();
        return;
    }
    // Saved under the name the question shows.
    if (Dialogs.Decision("Save changes to current profile \"" + name + "\" ?") == 1 &&
        SaveProfile(name))
        currentName_ = name;
}

void TFSyncMain::AskToSaveChangesOfShownName() { AskToSaveChanges(ComboText()); }

void TFSyncMain::cbProfileChange() {
    if (updatingList_) return;
    const std::string chosen = ComboText();
    AskToSaveChanges(currentName_);
    // Saving may have rebuilt the list; the profile chosen is the one to show.
    if (ComboText() != chosen) FillProfileLists(chosen, false, Now(), false);
    currentName_ = ComboText();
    LoadCurrentProfile();
}

void TFSyncMain::btSaveClick() {
    const std::string name = Trim(ComboText());
    if (name.empty()) {
        SaveAs();
        return;
    }
    if (!SaveProfile(name)) return;
    currentName_ = name;
    // A name typed into the box is a new profile: list it.
    if (cbProfile->findText(Q(name), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        FillProfileLists(name, false, Now(), false);
        currentName_ = ComboText();
    }
}

std::string TFSyncMain::SaveAs() {
    bool cancelled = false;
    const std::string answer =
        Trim(Dialogs.Text("Please enter new name for this profile:", currentName_, cancelled));
    if (cancelled || answer.empty()) return {};
    if (std::string problem = ValidateProfileName(answer); !problem.empty()) {
        Dialogs.Info(problem);
        return {};
    }
    SetComboText(answer);
    if (!SaveProfile(answer)) return {};
    FillProfileLists(answer, false, Now(), false);
    LoadCurrentProfile();
    return answer;
}

void TFSyncMain::btSaveAsClick() { SaveAs(); }

void TFSyncMain::btRenameClick() {
    // The old entries go only once the settings are stored under the new name.
    const std::string old = ComboText();
    const std::string renamed = SaveAs();
    if (renamed.empty() || old.empty() || renamed == old) return;
    RemoveStoredProfile(*store_, old);
    if (std::string error = store_->Flush(); !error.empty()) Dialogs.Info(error);
    FillProfileLists(renamed, false, Now(), false);
    LoadCurrentProfile();
}

void TFSyncMain::btDeleteClick() {
    const std::string name = ComboText();
    if (Trim(name).empty()) return;
    if (!Dialogs.Question("Delete profile \"" + name + "\" ?")) return;
    RemoveStoredProfile(*store_, name);
    FillProfileLists("", false, Now(), false);
    SelectComboIndex(0);
    if (cbProfile->count() > 0) {
        LoadCurrentProfile();
        return;
    }
    // The last profile is gone: the page shows what a first start shows.
    tProfile initial;
    SetInitialValues(initial);
    initial.NextRun = DayNumber(pickDate->date(), pickTime->time());
    ProfileToForm(initial);
    UpdateControlStates();
    modified_ = false;
    currentName_.clear();
}

void TFSyncMain::btNewClick() {
    const int choice = Dialogs.Choose("Please specify:", {"Create a new, empty profile",
                                                          "Create a new profile based on the currently shown profile"});
    if (choice != 1 && choice != 2) return;
    currentName_.clear();
    updatingList_ = true;
    cbProfile->addItem(QString());
    cbProfile->setCurrentIndex(cbProfile->count() - 1);
    updatingList_ = false;
    modified_ = true;
    if (choice != 1) return;
    edLeftPath->clear();
    edRightPath->clear();
    cbSubfolders->setChecked(true);
    cbLeftToRight->setChecked(true);
    cbRightToLeft->setChecked(true);
    cbVolumeLabel->setChecked(false);
    cbVolumeLabel->setText("Must have this volume label");
    cbSelectBaseFolderItems->setChecked(false);
    baseFolderItems_.clear();
    cbFileMasks->setText("(all)");
    cbExcludeMasks->setText("(none)");
    lbLastRun->setText("never");
    lbLastRunResult->clear();
    cbRightToLeftClick();
    btDefaultsClick();
}

void TFSyncMain::btDefaultsClick() {
    tProfile d;
    SetDefaultValues(d);
    ShowModeDefaults(d);
    advance_.Clear();
    cbRightToLeftClick();
    UpdateControlStates();
}

// ---------------------------------------------------------------------------------------
// Run Now

void TFSyncMain::btRunNowClick() {
    if (edLeftPath->text().trimmed().isEmpty()) {
        Dialogs.Info("Please specify a left hand path");
        return;
    }
    if (edRightPath->text().trimmed().isEmpty()) {
        Dialogs.Info("Please specify a right hand path");
        return;
    }
    tProfile p;
    ProfileFromForm(p);
    if (!edLogPath->text().trimmed().isEmpty()) RunSettings().LogFolder = ToBytes(edLogPath->text());
    PageControl1->setEnabled(false);
    {
        tRunGuard guard(*this, p);
        try {
            RunProfile(p, false);
        } catch (const std::exception& e) {
            // An invalid mask: the run ended without execution.
            Dialogs.Info(e.what());
        }
    }
    PageControl1->setEnabled(true);
    if (p.LastRun > kLastRunShownAfter) lbLastRun->setText(Q(DateTimeText(p.LastRun)));
    lbLastRunResult->setText(Q(p.LastRunResult));
    // A page without a name is no stored profile: what the run wrote under "" goes again.
    if (p.Name.empty()) RemoveStoredProfile(*store_, "");
    if (std::string error = store_->Flush(); !error.empty()) Dialogs.Info(error);
    CloseIfPending();
}

void TFSyncMain::CloseIfPending() {
    if (!closePending_) return;
    closePending_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
}

// ---------------------------------------------------------------------------------------
// Scheduler

bool TFSyncMain::SchedulerActive() const { return Timer1->isActive() || scheduledRunActive_; }

void TFSyncMain::ShowScheduleRows() {
    const auto& rows = scheduler_->Rows();
    grdProfiles->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < 4; ++c) {
            const QString text = FromBytes(rows[static_cast<size_t>(r)].Cells[c]);
            auto* item = new QTableWidgetItem(text);
            // Long folders are cut in the cell; the tip shows them whole.
            item->setToolTip(QString(text).replace(QChar(kCellLineBreak), '\n'));
            grdProfiles->setItem(r, c, item);
        }
    grdProfiles->viewport()->update();
}

void TFSyncMain::grdProfilesDrawCellX(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
    const tNextDue& next = scheduler_->Next();
    const tCellColors colors =
        ScheduleCellColors(option.palette, false, next.Known && index.row() == next.Row);
    painter->save();
    painter->fillRect(option.rect, colors.Background);
    painter->setPen(colors.Font);
    painter->setFont(option.font);
    const auto [upper, lower] = SplitCell(ToBytes(index.data().toString()));
    const QRect inner = option.rect.adjusted(3, 1, -3, -1);
    const int half = inner.height() / 2;
    const QFontMetrics metrics(option.font);
    auto line = [&](const std::string& text, const QRect& rect) {
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(FromBytes(text), Qt::ElideRight, rect.width()));
    };
    // A text without the line break is one line, on the upper half.
    line(upper, QRect(inner.left(), inner.top(), inner.width(), half));
    if (!lower.empty())
        line(lower, QRect(inner.left(), inner.top() + half, inner.width(), inner.height() - half));
    painter->restore();
}

tScheduler::tHooks TFSyncMain::SchedulerHooks() {
    tScheduler::tHooks hooks;
    hooks.Found = [this](const tNextDue& next) {
        grdProfiles->selectRow(next.Row);
        lbStatus->setText(Q(NextStartText(next.Due)));
        grdProfiles->viewport()->update();
    };
    hooks.Starting = [this](const tScheduleRow&, tProfile& profile) {
        Timer1->stop();
        scheduledRunActive_ = true;
        btScheduler->setEnabled(false);
        grdProfiles->setEnabled(false);
        // Nothing else of the window may start a run in the middle of this one.
        PageControl1->setEnabled(false);
        if (!edLogPath->text().trimmed().isEmpty()) RunSettings().LogFolder = ToBytes(edLogPath->text());
        scheduledGuard_ = std::make_unique<tRunGuard>(*this, profile);
    };
    hooks.Finished = [this](const tScheduledRun& run, tProfile& profile) {
        scheduledGuard_.reset();
        grdProfiles->setEnabled(true);
        btScheduler->setEnabled(true);
        PageControl1->setEnabled(true);
        scheduledRunActive_ = false;
        if (run.Failed()) NotifyFailure(run.Name, run.Result);
        if (!run.StoreError.empty()) NotifyFailure(run.Name, run.StoreError);
        if (run.Loaded && !run.Skipped && profile.Name == currentName_) {
            ProfileToForm(profile);
            UpdateControlStates();
        }
        FillProfileLists(currentName_, true, run.Due, false);
        Timer1->start(1000);
    };
    hooks.Continue = [this] { return !closePending_; };
    return hooks;
}

void TFSyncMain::btSchedulerClick() {
    ClearRightListCache();
    scheduler_->Forget();
    if (Timer1->isActive()) {
        Timer1->stop();
        btScheduler->setText("Start Scheduler");
        lbStatus->setText(kSchedulerInactive);
        btExit3->setEnabled(true);
        cbOnlyScheduledProfiles->setEnabled(true);
        grdProfiles->viewport()->update();
        return;
    }
    // The danger rule looks at the profiles as stored now.
    FillProfileLists(currentName_, true, Now(), false);
    if (dangerListed_ && Dialogs.Decision(kSchedulerDangerQuestion) != 1) return;
    Timer1->start(1000);
    btExit3->setEnabled(false);
    cbOnlyScheduledProfiles->setEnabled(false);
    btScheduler->setText("Stop Scheduler");
    lbStatus->setText(kSchedulerRunning);
}

void TFSyncMain::Timer1Timer() {
    if (autostartPending_) {
        if (!isVisible()) return;
        Timer1->stop();
        autostartPending_ = false;
        btSchedulerClick();
        return;
    }
    // A run started by hand (its review may be open) goes first: try again next tick.
    if (running_) return;
    if (!scheduler_->Tick(Now(), SchedulerHooks())) {
        btSchedulerClick();
        lbStatus->setText(kNoMoreProfiles);
    }
    if (closePending_) {
        if (Timer1->isActive()) btSchedulerClick();
        CloseIfPending();
    }
}

void TFSyncMain::cbOnlyScheduledProfilesChange() { FillProfileLists(currentName_, true, Now(), false); }

// ---------------------------------------------------------------------------------------
// Profile overview

void TFSyncMain::btRunMultipleNowClick() {
    PageControl1->setEnabled(false);
    const bool unattended = cbRunNowUnattended->isChecked();
    if (!edLogPath->text().trimmed().isEmpty()) RunSettings().LogFolder = ToBytes(edLogPath->text());
    for (int i = 0; i < clbMultiple->count() && !closePending_; ++i) {
        QListWidgetItem* item = clbMultiple->item(i);
        if (item->checkState() != Qt::Checked) continue;
        const std::string name = S(item->data(kProfileNameRole).toString());
        auto loaded = LoadStoredProfile(*store_, name);
        if (!loaded) break;
        tProfile& p = *loaded;
        bool ok = false;
        {
            tRunGuard guard(*this, p);
            try {
                ok = RunProfile(p, unattended);
            } catch (const std::exception& e) {
                Dialogs.Info(e.what());
            }
        }
        // A run refused because it goes on elsewhere leaves the record to that run.
        if (!p.AlreadyRunning) store_->Write("opt_" + name, EncodeOptions(p), "Profiles");
        if (name == currentName_) {
            ProfileToForm(p);
            UpdateControlStates();
        }
        if (std::string error = store_->Flush(); !error.empty()) Dialogs.Info(error);
        if (!ok) break;
    }
    PageControl1->setEnabled(true);
    CloseIfPending();
}

void TFSyncMain::btNowAllClick() {
    for (int i = 0; i < clbMultiple->count(); ++i) clbMultiple->item(i)->setCheckState(Qt::Checked);
}

void TFSyncMain::btNowNoneClick() {
    for (int i = 0; i < clbMultiple->count(); ++i) clbMultiple->item(i)->setCheckState(Qt::Unchecked);
}

void TFSyncMain::btEditClick() {
    const QList<QListWidgetItem*> selected = clbMultiple->selectedItems();
    if (selected.isEmpty()) {
        Dialogs.Info(kNothingToEdit);
        return;
    }
    currentName_ = S(selected.first()->data(kProfileNameRole).toString());
    SelectComboIndex(clbMultiple->row(selected.first()));
    LoadCurrentProfile();
    PageControl1->setCurrentWidget(tsMain);
}

void TFSyncMain::btScheduleClick() {
    const std::string shown = currentName_;
    bool anyTicked = false;
    for (int i = 0; i < clbMultiple->count(); ++i) {
        const bool ticked = clbMultiple->item(i)->checkState() == Qt::Checked;
        anyTicked = anyTicked || ticked;
        SelectComboIndex(i);
        LoadCurrentProfile();
        cbScheduled->setChecked(ticked);
        // As a click would: a next run that has passed moves forward, so that it counts.
        cbScheduledClick();
        btSaveClick();
    }
    // The edit page goes back to the profile it showed.
    const int back = cbProfile->findText(Q(shown), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (back >= 0) {
        SelectComboIndex(back);
        LoadCurrentProfile();
    }
    if (!anyTicked) {
        Dialogs.Info(kNothingToSchedule);
        return;
    }
    PageControl1->setCurrentWidget(tsScheduler);
    FillProfileLists(currentName_, true, Now(), false);
}

// ---------------------------------------------------------------------------------------
// Options

void TFSyncMain::cbAutostartClick() {
    const bool on = cbAutostart->isChecked();
    if (std::string problem = SetAutostart(on, ProgramFile()); !problem.empty()) {
        Dialogs.Info(problem);
        cbAutostart->setChecked(AutostartEnabled());
    }
}

} // namespace corvane::gui
