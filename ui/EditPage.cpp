#include "ui/EditPage.h"

#include "engine/Analysis.h"
#include "engine/RunDriver.h"
#include "engine/UiPort.h"
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/ProfileStore.h"
#include "scheduler/Watching.h"
#include "ui/HelpWindow.h"
#include "ui/OptionsPage.h"
#include "ui/PageControls.h"
#include "ui/SyncMain.h"
#include "widgets/Bytes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <filesystem>

namespace corvane::gui {

using namespace controls;

namespace {

constexpr double kLastRunShownAfter = 37750.0; // the start of 9 May 2003

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

bool IsNumberOtherThanZero(const QString& text) {
    const int v = ParseIntOr(S(text), 0);
    return v != 0;
}

} // namespace

tEditPage::tEditPage(TFSyncMain& main) : main_(main) {
    setObjectName("tsMain");
    Help(this, 100);
    auto* fields = new QGridLayout;
    Label10 = Text(this, "Label10", "Profile");
    cbProfile = Named(new QComboBox(this), "cbProfile");
    cbProfile->setEditable(true);
    cbProfile->setInsertPolicy(QComboBox::NoInsert);
    Hint(cbProfile, "When you have saved profiles, they appear in this list and you can select one.");
    Label1 = Text(this, "Label1", "Left Path");
    edLeftPath = Edit(this, "edLeftPath");
    Hint(edLeftPath, "In this field, you enter the left path for the comparison or backup. Click the folder icon to browse for a folder.");
    btBrowseLeft = BrowseButton(this, "btBrowseLeft");
    Label3 = Text(this, "Label3", "Right Path");
    edRightPath = Edit(this, "edRightPath");
    Hint(edRightPath, "In this field, you enter the right path for the comparison or backup. Click the folder icon to browse for a folder.");
    btBrowseRight = BrowseButton(this, "btBrowseRight");
    Label2 = Text(this, "Label2", "Filename Mask(s)");
    cbFileMasks = Edit(this, "cbFileMasks", "(all)");
    Hint(cbFileMasks, "Choose file masks such as *.doc or * or *.xl? in order to specify which files are to be processed.");
    Label11 = Text(this, "Label11", "(separate with semicolon)");
    Label4 = Text(this, "Label4", "But Exclude These");
    cbExcludeMasks = Edit(this, "cbExcludeMasks", "(none)");
    Hint(cbExcludeMasks, "You can exclude certain files such as *.tmp or *.bak.");
    Label12 = Text(this, "Label12", "(separate with semicolon)");
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{Label10, cbProfile},
                                {Label1, edLeftPath}, {Label3, edRightPath},
                                {Label2, cbFileMasks}, {Label4, cbExcludeMasks}})
        label->setBuddy(field);
    for (QWidget* w : {static_cast<QWidget*>(cbProfile), static_cast<QWidget*>(edLeftPath),
                       static_cast<QWidget*>(edRightPath)})
        Help(w, 110);
    PathField(edLeftPath);
    PathField(edRightPath);
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

    cbLeftToRight = Check(this, "cbLeftToRight", "Copy Left To Right", true);
    cbRightToLeft = Check(this, "cbRightToLeft", "Copy Right To Left", true);
    Hint(cbLeftToRight, "It is very important to select the correct direction(s) for the synchronization!");
    Hint(cbRightToLeft, "It is very important to select the correct direction(s) for the synchronization!");
    cbSubfolders = Check(this, "cbSubfolders", "Include Subfolders", true);
    Hint(cbSubfolders, "Check here if subfolders on both sides are to be included in the synchronization process.");
    cbSelectBaseFolderItems = Check(this, "cbSelectBaseFolderItems", "Only Selected I&tems From Base Folders...");
    Hint(cbSelectBaseFolderItems, "F");
    Help(cbSelectBaseFolderItems, 120);
    HotLinkLabel1 = Named(new QLabel("<a href=\"#edit\">(edit list)</a>", this), "HotLinkLabel1");
    HotLinkLabel1->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    Help(HotLinkLabel1, 120);
    cbVolumeLabel = Check(this, "cbVolumeLabel", "Must have this volume label");
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

    Label14 = Text(this, "Label14", "More Profile-Specific Settings");
    QFont bold = Label14->font();
    bold.setBold(true);
    Label14->setFont(bold);
    PageControl2 = Named(new QTabWidget(this), "PageControl2");
    Hint(PageControl2, "This area contains various options stored with your profile. Press F1 for detailed help!");
    Help(PageControl2, 130);
    tsModes = BuildModesTab();
    tsMore = BuildMoreTab();
    tsCompare = BuildCompareTab();
    tsSchedule = BuildScheduleTab();
    tsUnattended = BuildUnattendedTab();
    PageControl2->addTab(tsModes, "M&odes");
    PageControl2->addTab(tsMore, "&More");
    PageControl2->addTab(tsCompare, "Compar&ison");
    PageControl2->addTab(tsSchedule, "Schedu&le");
    PageControl2->addTab(tsUnattended, "&Unattended");

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(boxes);
    left->addSpacing(4);
    left->addWidget(Label14);
    left->addWidget(PageControl2, 1);

    btRunNow = Button(this, "btRunNow", "&Run Now...");
    Hint(btRunNow, "This button starts the synchronization process.");
    QFont strong = btRunNow->font();
    strong.setBold(true);
    btRunNow->setFont(strong);
    btSave = Button(this, "btSave", "&Save");
    Hint(btSave, "Use this button to save your settings as a profile.");
    btSaveAs = Button(this, "btSaveAs", "Save &As...");
    Hint(btSaveAs, "Saves the profile under a new name, so that you have two copies of it. The latest changes will only be stored with the new name.");
    btRename = Button(this, "btRename", "Re&name...");
    Hint(btRename, "Renames your profile.");
    btDelete = Button(this, "btDelete", "&Delete");
    Hint(btDelete, "Deletes the profile and displays one of the other saved profiles, so that the settings of the deleted profile are discarded immediately.");
    btNew = Button(this, "btNew", "Ne&w...");
    Hint(btNew, "This button will allow you to create a new profile from scratch, or use the currently shown profile as a starting point for the new profile.");
    btDefaults = Button(this, "btDefaults", "De&faults");
    Hint(btDefaults, "Use this button to save your settings as a profile.");
    btExit = Button(this, "btExit", "E&xit");
    Hint(btExit, "Click here to quit this application.");
    for (QWidget* w : {btSave, btSaveAs, btRename, btDelete, btNew, btDefaults}) Help(w, 110);
    Help(btRunNow, 120);
    Help(btExit, 120);
    btHelp = Button(this, "btHelp", "&Help");
    Hint(btHelp, "Shows the manual at the section for the control that has the focus (F1).");
    btHelp->setFocusPolicy(Qt::NoFocus);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btRunNow);
    buttons->addSpacing(10);
    for (QWidget* w : {btSave, btSaveAs, btRename, btDelete, btNew, btDefaults})
        buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(btHelp);
    buttons->addWidget(btExit);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    Connect();
}

bool RememberBoxEnabled(bool leftToRight, bool rightToLeft, bool exactMirror) {
    return leftToRight && rightToLeft && !exactMirror;
}

QWidget* tEditPage::BuildModesTab() {
    auto* tab = Named(new QWidget, "tsModes");
    Help(tab, 130);
    cbDetectMoved = Check(tab, "cbDetectMoved", "Detect If Files Have Been Moved", true);
    cbExactMirror = Check(tab, "cbExactMirror", "Exact Mirror");
    lbExactMirror = Text(tab, "lbExactMirror", "(deletes obsolete files, may overwrite newer files)");
    lbExactMirror->setBuddy(cbExactMirror);
    cbRememberLastRun = Check(tab, "cbRememberLastRun",
                              "Remember the last run (two-way: carry deletions over, keep both "
                              "edits of a file changed on both sides)");
    cbDatabase = Check(tab, "cbDatabase", "Database-Safe: Enforce Exclusive Access");
    cbWait = Check(tab, "cbWait", "Wait For Exclusive Access, max.", true);
    edWaitMins = Number(tab, "edWaitMins", "10");
    Label9 = Text(tab, "Label9", "mins.");
    Label9->setBuddy(edWaitMins);
    Label16 = Text(tab, "Label16", "Use Recycle Bin For");
    cbRecycleOverwrittenFiles = Check(tab, "cbRecycleOverwrittenFiles", "Overwritten");
    cbRecycleDeletedFiles = Check(tab, "cbRecycleDeletedFiles", "Deleted Files", true);
    Label18 = Text(tab, "Label18", "The Recycle Bin is not always available (e.g., not on network drives).");

    auto* grid = new QGridLayout(tab);
    grid->addWidget(cbDetectMoved, 0, 0, 1, 2);
    auto* mirror = new QHBoxLayout;
    mirror->addWidget(cbExactMirror);
    mirror->addWidget(lbExactMirror);
    mirror->addStretch();
    grid->addLayout(mirror, 1, 0, 1, 2);
    grid->addWidget(cbRememberLastRun, 2, 0, 1, 2);
    grid->addWidget(cbDatabase, 3, 0, 1, 2);
    auto* wait = new QHBoxLayout;
    wait->addSpacing(20);
    wait->addWidget(cbWait);
    wait->addWidget(edWaitMins);
    wait->addWidget(Label9);
    wait->addStretch();
    grid->addLayout(wait, 4, 0, 1, 2);
    auto* recycle = new QHBoxLayout;
    recycle->addWidget(Label16);
    recycle->addWidget(cbRecycleOverwrittenFiles);
    recycle->addWidget(cbRecycleDeletedFiles);
    recycle->addStretch();
    grid->addLayout(recycle, 5, 0, 1, 2);
    grid->addWidget(Label18, 6, 0, 1, 2);
    grid->setRowStretch(7, 1);
    return tab;
}

QWidget* tEditPage::BuildMoreTab() {
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

QWidget* tEditPage::BuildCompareTab() {
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

QWidget* tEditPage::BuildScheduleTab() {
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
    cbWatch = Check(tab, "cbWatch", "Run when files change, after");
    edWatchQuiet = Number(tab, "edWatchQuiet", "5", 86400);
    lbWatchQuiet = Text(tab, "lbWatchQuiet", "seconds of quiet");
    lbWatchQuiet->setBuddy(edWatchQuiet);
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
    auto* watch = new QHBoxLayout;
    watch->addWidget(cbWatch);
    watch->addWidget(edWatchQuiet);
    watch->addWidget(lbWatchQuiet);
    watch->addStretch();
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
    layout->addLayout(watch);
    layout->addStretch();
    return tab;
}

QWidget* tEditPage::BuildUnattendedTab() {
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

void tEditPage::Connect() {
    auto click = [this](QAbstractButton* b, void (tEditPage::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    click(btRunNow, &tEditPage::btRunNowClick);
    click(btSave, &tEditPage::btSaveClick);
    click(btSaveAs, &tEditPage::btSaveAsClick);
    click(btRename, &tEditPage::btRenameClick);
    click(btDelete, &tEditPage::btDeleteClick);
    click(btNew, &tEditPage::btNewClick);
    click(btDefaults, &tEditPage::btDefaultsClick);
    connect(btExit, &QPushButton::clicked, &main_, [this] { main_.btExitClick(); });
    connect(btHelp, &QPushButton::clicked, this, [this] { ShowHelp(this); });
    click(cbLeftToRight, &tEditPage::cbRightToLeftClick);
    click(cbRightToLeft, &tEditPage::cbRightToLeftClick);
    click(cbExactMirror, &tEditPage::cbExactMirrorClick);
    click(cbDatabase, &tEditPage::cbDatabaseClick);
    click(cbWait, &tEditPage::cbWaitClick);
    click(cbMultipleVersions, &tEditPage::cbMultipleVersionsClick);
    click(cbUseVersionsFolder, &tEditPage::cbUseVersionsFolderClick);
    click(cbScheduled, &tEditPage::cbScheduledClick);
    click(cbAutoUpdate, &tEditPage::cbScheduledClick);
    click(cbRepeat, &tEditPage::cbRepeatClick);
    click(cbWatch, &tEditPage::cbWatchClick);
    for (QAbstractButton* b : {rbRepeatWhileNoError, rbRepeatIndefinitely, rbRepeatOnly})
        click(b, &tEditPage::rbRepeatOnlyClick);
    click(cbSelectBaseFolderItems, &tEditPage::cbSelectBaseFolderItemsChange);
    click(cbVolumeLabel, &tEditPage::cbVolumeLabelChange);
    connect(HotLinkLabel1, &QLabel::linkActivated, this, [this] { HotLinkLabel1Click(); });
    connect(edVersionsFolder, &QLineEdit::editingFinished, this, [this] { edVersionsFolderExit(); });
    connect(cbProfile, &QComboBox::currentIndexChanged, this, [this] { cbProfileChange(); });
    connect(btBrowseLeft, &QToolButton::clicked, this, [this] { main_.Browse(edLeftPath, "Left Path"); });
    connect(btBrowseRight, &QToolButton::clicked, this, [this] { main_.Browse(edRightPath, "Right Path"); });
}

void tEditPage::ShowFirstTab() { PageControl2->setCurrentWidget(tsModes); }

// ---------------------------------------------------------------------------------------
// Edit page <-> profile

bool tEditPage::Effective(const QCheckBox* box) const {
    return box->isChecked() && box->isEnabled();
}

std::string tEditPage::ComboText() const { return S(cbProfile->currentText()); }

void tEditPage::SetComboText(const std::string& text) { cbProfile->setEditText(Q(text)); }

void tEditPage::SelectComboIndex(int index) {
    const bool was = updatingList_;
    updatingList_ = true;
    cbProfile->setCurrentIndex(index);
    updatingList_ = was;
}

void tEditPage::ProfileFromForm(tProfile& p) {
    const tDateTime now = main_.Now();
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
    // Kept while disabled: it counts again once both directions are on.
    p.RememberLastRun = cbRememberLastRun->isChecked();
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
    // Ticked with no usable time: the default quiet time rather than off.
    const int quiet = ParseIntOr(S(edWatchQuiet->text()), 0);
    p.WatchQuiet = cbWatch->isChecked() ? (quiet > 0 ? quiet : kDefaultWatchQuiet) : 0;
}

void tEditPage::ProfileToForm(tProfile& p) {
    const tDateTime now = main_.Now();
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
    cbRememberLastRun->setChecked(p.RememberLastRun);
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
    cbWatch->setChecked(p.WatchQuiet > 0);
    edWatchQuiet->setText(QString::number(p.WatchQuiet > 0 ? p.WatchQuiet : kDefaultWatchQuiet));
}

// The fields the "Defaults" button resets.
void tEditPage::ShowModeDefaults(const tProfile& d) {
    cbDetectMoved->setChecked(d.DetectMoved);
    cbExactMirror->setChecked(d.ExactMirror);
    cbRememberLastRun->setChecked(d.RememberLastRun);
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
    cbWatch->setChecked(d.WatchQuiet > 0);
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

void tEditPage::UpdateControlStates() {
    rbRepeatOnlyClick();
    cbRepeatClick();
    cbScheduledClick();
    cbDatabaseClick();
    cbWaitClick();
    cbMultipleVersionsClick();
    cbUseVersionsFolderClick();
    cbExactMirrorClick();
    cbWatchClick();
}

void tEditPage::cbWatchClick() {
    edWatchQuiet->setEnabled(cbWatch->isChecked());
    lbWatchQuiet->setEnabled(cbWatch->isChecked());
}

void tEditPage::cbRightToLeftClick() {
    const bool both = cbLeftToRight->isChecked() && cbRightToLeft->isChecked();
    cbExactMirror->setEnabled(!both);
    lbExactMirror->setEnabled(!both);
    if (both) cbExactMirror->setChecked(false);
    cbCacheRight->setEnabled(cbLeftToRight->isChecked() && !cbRightToLeft->isChecked());
    cbExactMirrorClick();
}

void tEditPage::cbExactMirrorClick() {
    const bool on = !Effective(cbExactMirror);
    cbRememberLastRun->setEnabled(RememberBoxEnabled(
        cbLeftToRight->isChecked(), cbRightToLeft->isChecked(), Effective(cbExactMirror)));
    for (QWidget* w : {static_cast<QWidget*>(cbFileMasks), static_cast<QWidget*>(cbExcludeMasks),
                       static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label4),
                       static_cast<QWidget*>(Label11), static_cast<QWidget*>(Label12)})
        w->setEnabled(on);
}

void tEditPage::cbDatabaseClick() {
    cbWait->setEnabled(cbDatabase->isChecked());
    cbWaitClick();
}

void tEditPage::cbWaitClick() {
    const bool on = Effective(cbWait);
    edWaitMins->setEnabled(on);
    Label9->setEnabled(on);
    if (cbWait->isChecked() && !IsNumberOtherThanZero(edWaitMins->text())) edWaitMins->setText("60");
}

void tEditPage::cbMultipleVersionsClick() {
    const bool on = cbMultipleVersions->isChecked();
    edMaxVersions->setEnabled(on);
    cbUseVersionsFolder->setEnabled(on);
    cbUseVersionsFolderClick();
}

void tEditPage::cbUseVersionsFolderClick() {
    const bool on = Effective(cbUseVersionsFolder);
    edVersionsFolder->setEnabled(on);
    cbOlderSubfolder->setEnabled(on);
    if (edVersionsFolder->text().trimmed().isEmpty()) edVersionsFolder->setText("Older");
}

void tEditPage::edVersionsFolderExit() {
    const std::string name = ToBytes(edVersionsFolder->text());
    const std::string cleaned = WithoutChars(name, "/");
    if (cleaned == name) return;
    main_.Dialogs.Info("Illegal characters were removed from the folder name");
    edVersionsFolder->setText(FromBytes(cleaned));
}

void tEditPage::cbScheduledClick() {
    const bool on = cbScheduled->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(pickDate), static_cast<QWidget*>(pickTime),
                       static_cast<QWidget*>(cbRepeat), static_cast<QWidget*>(cbAutoUpdate)})
        w->setEnabled(on);
    cbRepeatClick();
    cbScheduledChange();
}

void tEditPage::cbScheduledChange() {
    if (!cbScheduled->isChecked()) return;
    const double interval = RepeatInterval(ParseIntOr(S(edDays->text()), 0),
                                           ParseIntOr(S(edHours->text()), 0),
                                           ParseIntOr(S(edMinutes->text()), 0));
    const tDateTime t =
        TickedNextRun(DayNumber(pickDate->date(), pickTime->time()), interval, main_.Now());
    pickDate->setDate(DateOf(t));
    pickTime->setTime(TimeOf(t));
}

void tEditPage::cbRepeatClick() {
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

void tEditPage::rbRepeatOnlyClick() {
    const bool on = rbRepeatOnly->isChecked() && rbRepeatOnly->isEnabled();
    edRepeatTimes->setEnabled(on);
    Label8->setEnabled(on);
}

int tEditPage::EditBaseFolderItems() {
    tProfile p;
    ProfileFromForm(p);
    auto hasItems = [](const std::string& folder) {
        std::error_code ec;
        if (folder.empty()) return false;
        std::filesystem::directory_iterator it(folder, ec);
        return !ec && it != std::filesystem::directory_iterator();
    };
    if (!hasItems(p.LeftPath) && !hasItems(p.RightPath)) return 2;
    if (!main_.BaseFolderItemsDialog) return 2;
    std::string selection = baseFolderItems_;
    const int result = main_.BaseFolderItemsDialog(p, selection);
    if (result != 2) baseFolderItems_ = selection;
    return result;
}

void tEditPage::cbSelectBaseFolderItemsChange() {
    if (cbSelectBaseFolderItems->isChecked() && main_.Loaded() && EditBaseFolderItems() == 2)
        cbSelectBaseFolderItems->setChecked(false);
}

void tEditPage::HotLinkLabel1Click() { baseFolderItemsOk_ = EditBaseFolderItems() == 1; }

void tEditPage::cbVolumeLabelChange() {
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
        main_.Dialogs.Info("Could not get the volume label for drive \"" + root);
        cbVolumeLabel->setChecked(false);
        return;
    }
    cbVolumeLabel->setText("Vol. must be: " + FromBytes(label));
}

// ---------------------------------------------------------------------------------------
// The profile on the page

void tEditPage::ShowProfile(tProfile& p) {
    ProfileToForm(p);
    UpdateControlStates();
}

void tEditPage::ListProfiles(const std::vector<std::string>& names, const std::string& select) {
    updatingList_ = true;
    cbProfile->clear();
    int selected = -1;
    for (const std::string& name : names) {
        cbProfile->addItem(Q(name));
        if (name == select) selected = cbProfile->count() - 1;
    }
    cbProfile->setCurrentIndex(selected >= 0 ? selected : cbProfile->count() > 0 ? 0 : -1);
    updatingList_ = false;
}

int tEditPage::IndexOfProfile(const std::string& name) const {
    return cbProfile->findText(Q(name), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void tEditPage::LoadCurrentProfile() {
    modified_ = false;
    const std::string name = ComboText();
    if (auto p = LoadStoredProfile(main_.Store(), name)) ProfileToForm(*p);
    UpdateControlStates();
    currentName_ = name;
}

bool tEditPage::SaveProfile(const std::string& name) {
    if (name.empty()) return false;
    tProfile p;
    ProfileFromForm(p);
    p.Name = name;
    if (std::string problem = StoreProfile(main_.Store(), p); !problem.empty()) {
        main_.Dialogs.Info(problem);
        return false;
    }
    if (std::string error = main_.Store().Flush(); !error.empty()) main_.Dialogs.Info(error);
    modified_ = false;
    return true;
}

bool tEditPage::IsProfileModified() {
    if (modified_) return true;
    if (currentName_.empty()) return false;
    tProfile edited;
    ProfileFromForm(edited);
    return DiffersFromStored(main_.Store(), currentName_, edited, advance_.LastAdvanceOld,
                             advance_.LastAdvanceNew);
}

void tEditPage::AskToSaveChanges(const std::string& name) {
    if (!IsProfileModified()) return;
    if (Trim(name).empty()) {
        if (main_.Dialogs.Decision("Save changes to current profile?") == 1) SaveAs();
        return;
    }
    // Saved under the name the question shows.
    if (main_.Dialogs.Decision("Save changes to current profile \"" + name + "\" ?") == 1 &&
        SaveProfile(name))
        currentName_ = name;
}

void tEditPage::AskToSaveChangesOfShownName() { AskToSaveChanges(ComboText()); }

void tEditPage::cbProfileChange() {
    if (updatingList_) return;
    const std::string chosen = ComboText();
    AskToSaveChanges(currentName_);
    // Saving may have rebuilt the list; the profile chosen is the one to show.
    if (ComboText() != chosen) main_.FillProfileLists(chosen, false, main_.Now(), false);
    currentName_ = ComboText();
    LoadCurrentProfile();
}

void tEditPage::SaveScheduled(bool scheduled) {
    cbScheduled->setChecked(scheduled);
    // As a click would: a next run that has passed moves forward, so that it counts.
    cbScheduledClick();
    btSaveClick();
}

void tEditPage::btSaveClick() {
    const std::string name = Trim(ComboText());
    if (name.empty()) {
        SaveAs();
        return;
    }
    if (!SaveProfile(name)) return;
    currentName_ = name;
    // A name typed into the box is a new profile: list it.
    if (cbProfile->findText(Q(name), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        main_.FillProfileLists(name, false, main_.Now(), false);
        currentName_ = ComboText();
    }
}

std::string tEditPage::SaveAs() {
    bool cancelled = false;
    const std::string answer =
        Trim(main_.Dialogs.Text("Please enter new name for this profile:", currentName_, cancelled));
    if (cancelled || answer.empty()) return {};
    if (std::string problem = ValidateProfileName(answer); !problem.empty()) {
        main_.Dialogs.Info(problem);
        return {};
    }
    SetComboText(answer);
    if (!SaveProfile(answer)) return {};
    main_.FillProfileLists(answer, false, main_.Now(), false);
    LoadCurrentProfile();
    return answer;
}

void tEditPage::btSaveAsClick() { SaveAs(); }

void tEditPage::btRenameClick() {
    // The old entries go only once the settings are stored under the new name.
    const std::string old = ComboText();
    const std::string renamed = SaveAs();
    if (renamed.empty() || old.empty() || renamed == old) return;
    RemoveStoredProfile(main_.Store(), old);
    if (std::string error = main_.Store().Flush(); !error.empty()) main_.Dialogs.Info(error);
    main_.FillProfileLists(renamed, false, main_.Now(), false);
    LoadCurrentProfile();
}

void tEditPage::btDeleteClick() {
    const std::string name = ComboText();
    if (Trim(name).empty()) return;
    if (!main_.Dialogs.Question("Delete profile \"" + name + "\" ?")) return;
    RemoveStoredProfile(main_.Store(), name);
    main_.FillProfileLists("", false, main_.Now(), false);
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

void tEditPage::btNewClick() {
    const int choice = main_.Dialogs.Choose("Please specify:", {"Create a new, empty profile",
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

void tEditPage::btDefaultsClick() {
    tProfile d;
    SetDefaultValues(d);
    ShowModeDefaults(d);
    advance_.Clear();
    cbRightToLeftClick();
    UpdateControlStates();
}

// ---------------------------------------------------------------------------------------
// Run Now

void tEditPage::btRunNowClick() {
    if (edLeftPath->text().trimmed().isEmpty()) {
        main_.Dialogs.Info("Please specify a left hand path");
        return;
    }
    if (edRightPath->text().trimmed().isEmpty()) {
        main_.Dialogs.Info("Please specify a right hand path");
        return;
    }
    tProfile p;
    ProfileFromForm(p);
    main_.OptionsPage().UseLogFolder();
    main_.SetPagesEnabled(false);
    {
        const auto guard = main_.GuardRun(p);
        try {
            RunProfile(p, false);
        } catch (const std::exception& e) {
            // An invalid mask: the run ended without execution.
            main_.Dialogs.Info(e.what());
        }
    }
    main_.SetPagesEnabled(true);
    if (p.LastRun > kLastRunShownAfter) lbLastRun->setText(Q(DateTimeText(p.LastRun)));
    lbLastRunResult->setText(Q(p.LastRunResult));
    // A page without a name is no stored profile: what the run wrote under "" goes again.
    if (p.Name.empty()) RemoveStoredProfile(main_.Store(), "");
    if (std::string error = main_.Store().Flush(); !error.empty()) main_.Dialogs.Info(error);
    main_.CloseIfPending();
}

} // namespace corvane::gui
