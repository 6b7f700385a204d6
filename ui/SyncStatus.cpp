#include "ui/SyncStatus.h"

#include "engine/FileOps.h"
#include "engine/Planner.h"
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "engine/StatusList.h"
#include "engine/UiPort.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "ui/HelpWindow.h"
#include "ui/SyncMain.h"
#include "widgets/StatusGrid.h"
#include "widgets/Bytes.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace corvane::gui {

namespace {

constexpr const char* kHelpHint = "Press F1 for help!";
const QColor kMaroon(128, 0, 0);
const QColor kNavy(0, 0, 128);

int Index(tMenuItem item) {
    return static_cast<int>(item);
}

// A name or folder inside a menu caption: '&' stays a character.
std::string MenuText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    return out;
}

// MovedPath without its first character ("/" of the relative folder), at most 255 characters.
std::string MovedFolderText(const std::string& movedPath) {
    return movedPath.size() > 1 ? movedPath.substr(1, 255) : std::string();
}

Qt::CheckState ToCheckState(tTriState s) {
    switch (s) {
    case tTriState::Checked:
        return Qt::Checked;
    case tTriState::Grayed:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

tTriState ToTriState(Qt::CheckState s) {
    switch (s) {
    case Qt::Checked:
        return tTriState::Checked;
    case Qt::PartiallyChecked:
        return tTriState::Grayed;
    default:
        return tTriState::Unchecked;
    }
}

int64_t ShownSize(const TFileListEntry& e) {
    if (e.LeftSize() == 0) return e.RightSize();
    if (e.RightSize() == 0) return e.LeftSize();
    return (e.LeftSize() + e.RightSize()) / 2;
}

// A new name must stay one item in the same folder.
bool ValidNewName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// The final message of an immediate command, with the paths that failed below it.
std::string CountText(int count, const char* verb) {
    return count == 1 ? std::string("One file has been ") + verb
                      : std::to_string(count) + " files have been " + verb;
}

std::string ResultMessage(int count, const char* verb, const std::vector<std::string>& failures,
                          const char* failureTitle, std::string text = {}) {
    if (text.empty()) text = CountText(count, verb) + ".";
    if (failures.empty()) return text;
    text += "\n\n";
    text += failureTitle;
    constexpr size_t kShown = 10;
    for (size_t i = 0; i < failures.size() && i < kShown; ++i)
        text += "\n" + failures[i];
    if (failures.size() > kShown)
        text += "\n... and " + std::to_string(failures.size() - kShown) + " more";
    return text;
}

struct tSides {
    bool Left = false, Right = false;
    const char* Text = "";
};

// Which requested sides of a row an immediate command touches: present files only.
tSides ChooseSides(const TFileListEntry& e, bool left, bool right) {
    const bool hasLeft = e.Left.Present && !e.LeftIsFolder;
    const bool hasRight = e.Right.Present && !e.RightIsFolder;
    if (left && hasLeft) {
        if (right && hasRight) return {true, true, "both sides"};
        return {true, false, "the left side"};
    }
    if (right && hasRight) return {false, true, "the right side"};
    return {};
}

std::unique_ptr<TFSyncStatus> shownPlan;

} // namespace

// --- plan rules ---------------------------------------------------------------------------

void AdjustPlanStatistics(tProfile& profile, const TFileListEntry& e, int sign, bool summary) {
    if (e.LeftIsFolder || e.RightIsFolder) return;
    tPlanStatistics& s = profile.Stats;
    switch (e.Action) {
    case tAction::actCopyToRight:
        s.AffectedCount += sign;
        s.CopyToRightCount += sign;
        s.CopyToRightBytes += sign * e.LeftSize();
        // The copy buffer is sized by the largest planned copy.
        if (sign > 0) s.LargestCopy = std::max(s.LargestCopy, e.LeftSize());
        break;
    case tAction::actCopyToLeft:
        s.AffectedCount += sign;
        s.CopyToLeftCount += sign;
        s.CopyToLeftBytes += sign * e.RightSize();
        if (sign > 0) s.LargestCopy = std::max(s.LargestCopy, e.RightSize());
        break;
    case tAction::actMove:
        s.AffectedCount += sign;
        s.MoveCount += sign;
        s.MoveBytes += sign * (e.LeftSize() > 0 ? e.LeftSize() : e.RightSize());
        break;
    case tAction::actDelete:
        s.AffectedCount += sign;
        s.DeleteCount += sign;
        s.DeleteBytes += sign * ShownSize(e);
        break;
    case tAction::actConflict:
        // A file edited on both sides: the plan keeps both (BuildStatusList counts it).
        s.AffectedCount += sign;
        break;
    default:
        break;
    }
    if (summary) UpdateStatusSummary(profile);
}

void NumberAffectedRows(tProfile& profile) {
    int32_t number = 0;
    const int32_t count = profile.EntryCount();
    for (size_t row = 1; row < profile.RowIndex.size(); ++row) {
        const int32_t index = profile.RowIndex[row];
        if (index < 0 || index >= count) continue;
        TFileListEntry& e = profile.Entries[index];
        const bool affected =
            !e.LeftIsFolder && e.Action != tAction::actNone && e.Action != tAction::actLeaveAlone;
        e.AffectedIndex = affected ? ++number : 0;
    }
}

bool ValidSelection(const tProfile& profile, int top, int bottom) {
    return top >= 1 && bottom >= top && bottom < static_cast<int>(profile.RowIndex.size()) &&
           profile.RowIndex[bottom] >= 0 && profile.RowIndex[bottom] < profile.EntryCount();
}

void PopupMenuState(const tProfile& profile, int top, int bottom, tPopupState& s) {
    s.Enabled.fill(false);
    s.Checked.fill(false);
    if (!ValidSelection(profile, top, bottom)) return;
    auto enable = [&](tMenuItem item, bool on) { s.Enabled[Index(item)] = on; };
    auto check = [&](tMenuItem item, bool on) { s.Checked[Index(item)] = on; };
    auto isActive = [](tAction a) {
        return a == tAction::actCopyToRight || a == tAction::actCopyToLeft ||
               a == tAction::actMove || a == tAction::actDelete;
    };

    if (top == bottom) {
        const TFileListEntry& e = profile.Entries[profile.RowIndex[top]];
        const std::string name = MenuText(e.Name());
        const bool left = e.Left.Present, right = e.Right.Present, some = left || right;
        s.Title = name;
        if (some) {
            s.DeleteNowCaption = "Delete &Now (" + name + ")";
            s.RenameCaption = "Rename Now (" + name + ")";
            enable(tMenuItem::DeleteNowBoth, !e.LeftIsFolder);
            enable(tMenuItem::RenameBoth, !e.LeftIsFolder);
        } else {
            s.DeleteNowCaption = "(deleted)";
            s.RenameCaption = "Rename Now";
        }
        check(tMenuItem::CopyLeftToRight, e.Action == tAction::actCopyToRight);
        enable(tMenuItem::CopyLeftToRight, left);
        enable(tMenuItem::DeleteNowLeft, left && !e.LeftIsFolder);
        enable(tMenuItem::RenameLeft, left && !e.LeftIsFolder);
        check(tMenuItem::CopyRightToLeft, e.Action == tAction::actCopyToLeft);
        enable(tMenuItem::CopyRightToLeft, right);
        enable(tMenuItem::DeleteNowRight, right && !e.RightIsFolder);
        enable(tMenuItem::RenameRight, right && !e.RightIsFolder);
        check(tMenuItem::Move, e.Action == tAction::actMove);
        if (!e.MovedPath().empty()) {
            s.MoveCaption = "&Move to folder: " + MenuText(MovedFolderText(e.MovedPath()));
            enable(tMenuItem::Move, true);
        } else {
            s.MoveCaption = "&Move";
        }
        check(tMenuItem::Delete, e.Action == tAction::actDelete);
        check(tMenuItem::LeaveAlone, !isActive(e.Action));
        enable(tMenuItem::Delete, some);
        enable(tMenuItem::LeaveAlone, some);
        enable(tMenuItem::Revert, true);
        enable(tMenuItem::Remove, true);
        return;
    }

    const std::string items = std::to_string(bottom - top + 1) + " items";
    s.Title = items;
    s.DeleteNowCaption = "Delete &Now (" + items + ")";
    s.RenameCaption = "Rename Now (" + items + ")";
    s.Enabled.fill(true);
    enable(tMenuItem::Title, false);
    for (tMenuItem item : {tMenuItem::CopyLeftToRight, tMenuItem::CopyRightToLeft,
                           tMenuItem::Delete, tMenuItem::Move, tMenuItem::LeaveAlone})
        check(item, true);
    const std::string& firstMoved = profile.Entries[profile.RowIndex[top]].MovedPath();
    s.MoveCaption = "&Move to folder: " + MenuText(MovedFolderText(firstMoved));
    bool files = false, folders = false, otherFolders = false, withoutMove = false;
    const int count = profile.EntryCount();
    for (int row = top; row <= bottom; ++row) {
        const int32_t index = profile.RowIndex[row];
        if (index < 0 || index >= count) continue;
        const TFileListEntry& e = profile.Entries[index];
        if (e.Left.Present || e.Right.Present) files = true;
        if (e.LeftIsFolder || e.RightIsFolder) folders = true;
        if (e.MovedPath() != firstMoved) otherFolders = true;
        if (e.MovedPath().empty()) withoutMove = true;
        if (e.Action != tAction::actCopyToRight) check(tMenuItem::CopyLeftToRight, false);
        if (e.Action != tAction::actCopyToLeft) check(tMenuItem::CopyRightToLeft, false);
        if (e.Action != tAction::actMove) check(tMenuItem::Move, false);
        if (e.Action != tAction::actDelete) check(tMenuItem::Delete, false);
        if (isActive(e.Action)) check(tMenuItem::LeaveAlone, false);
        if (!e.Left.Present) {
            enable(tMenuItem::CopyLeftToRight, false);
            enable(tMenuItem::DeleteNowLeft, false);
            enable(tMenuItem::RenameLeft, false);
        }
        if (!e.Right.Present) {
            enable(tMenuItem::CopyRightToLeft, false);
            enable(tMenuItem::DeleteNowRight, false);
            enable(tMenuItem::RenameRight, false);
        }
    }
    if (otherFolders) s.MoveCaption = "&Move to other folders";
    // One row that is not a moved file is enough: the move cannot apply to the selection.
    if (withoutMove) {
        enable(tMenuItem::Move, false);
        s.MoveCaption = "&Move";
    }
    if (!files) {
        s.DeleteNowCaption = "(all deleted)";
        s.RenameCaption = "Rename Now";
        enable(tMenuItem::DeleteNowBoth, false);
        enable(tMenuItem::RenameBoth, false);
    }
    enable(tMenuItem::Delete, files);
    enable(tMenuItem::LeaveAlone, files);
    if (folders)
        for (tMenuItem item :
             {tMenuItem::DeleteNowBoth, tMenuItem::DeleteNowLeft, tMenuItem::DeleteNowRight,
              tMenuItem::RenameBoth, tMenuItem::RenameLeft, tMenuItem::RenameRight})
            enable(item, false);
}

std::array<std::string, 5> StateCaptions(const tProfile& p) {
    std::array<std::string, 5> captions = {"Show All", "Affected", "L to R", "R to L",
                                           "Unaffected"};
    if (p.ExactMirror && p.LeftToRight && !p.RightToLeft) captions[3] = "del./mov.";
    if (p.ExactMirror && p.RightToLeft && !p.LeftToRight) captions[2] = "del./mov.";
    return captions;
}

bool AdjustMovedFilesLocked(const tProfile& p) {
    return p.ExactMirror && p.LeftToRight != p.RightToLeft;
}

bool AdjustMovedFilesEnabled(int movedFilesItem, bool locked) {
    return !locked && (movedFilesItem == 0 || movedFilesItem == 1);
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != ENOTSUP) return error;
    // File systems without the flag: test first (a narrow race, but never a silent replace
    // of an item that existed before).
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return EEXIST;
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// --- small widgets ------------------------------------------------------------------------

TRadioGroup::TRadioGroup(const QString& name, const QString& title, const QStringList& items,
                         bool horizontal, QWidget* parent)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this)) {
    setObjectName(name);
    QBoxLayout* layout = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(this))
                                    : static_cast<QBoxLayout*>(new QVBoxLayout(this));
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(horizontal ? 12 : 2);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(name + "Item" + QString::number(i));
        buttons_->addButton(button, i);
        layout->addWidget(button);
    }
    if (horizontal) layout->addStretch();
    // Clicks and arrow keys alike: every item that becomes checked is the new index.
    connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && id != index_) SetItemIndex(id);
    });
}

void TRadioGroup::SetItemIndex(int i) {
    const bool changed = i != index_;
    SetItemIndexSilently(i);
    if (changed) emit Click();
}

void TRadioGroup::SetItemIndexSilently(int i) {
    index_ = i >= 0 && i < Count() ? i : -1;
    if (index_ >= 0) {
        buttons_->button(index_)->setChecked(true);
    } else if (QAbstractButton* b = buttons_->checkedButton()) {
        buttons_->setExclusive(false);
        b->setChecked(false);
        buttons_->setExclusive(true);
    }
}

QRadioButton* TRadioGroup::Item(int i) const {
    return static_cast<QRadioButton*>(buttons_->button(i));
}

int TRadioGroup::Count() const {
    return static_cast<int>(buttons_->buttons().size());
}

QSize TPathLabel::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 12, QLabel::minimumSizeHint().height()};
}

QSize TPathLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(text()) + 4, QLabel::sizeHint().height()};
}

void TPathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment() | Qt::TextSingleLine),
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

// --- the window ---------------------------------------------------------------------------

TFSyncStatus::TFSyncStatus(QWidget* parent) : tNxForm<QDialog>(parent) {
    setObjectName("FSyncStatus");
    setWindowTitle("Corvane");
    setToolTip(kHelpHint);
    InstallHelp(this, 200);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    BuildControls();
    BuildMenu();
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(400);
    connect(progressTimer_, &QTimer::timeout, this, [this] { Grid->viewport()->update(); });
    setMinimumSize(FormCanResize(QSize()));
    resize(FormCanResize(QSize(1000, 600)));
}

TFSyncStatus::~TFSyncStatus() {
    // The grid must let go of the list before the list detaches from the profile.
    Grid->GridModel()->SetList(nullptr);
}

void TFSyncStatus::BuildControls() {
    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(name);
        return l;
    };
    auto counter = [this](const char* name, const QColor* color) {
        auto* l = new QLabel(QStringLiteral("0 (0.0kB)"), this);
        l->setObjectName(name);
        QFont bold = l->font();
        bold.setBold(true);
        l->setFont(bold);
        if (color) {
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, *color);
            l->setPalette(p);
        }
        return l;
    };

    Label3 = label("Label3", "Copy To The Left:");
    lbRightToLeft = counter("lbRightToLeft", &kMaroon);
    Label5 = label("Label5", "Move:");
    lbMove = counter("lbMove", nullptr);
    Label4 = label("Label4", "Copy To The Right:");
    lbLeftToRight = counter("lbLeftToRight", &kNavy);
    cbFilesToDelete = new QCheckBox(QStringLiteral("To Delete:"), this);
    cbFilesToDelete->setObjectName("cbFilesToDelete");
    cbFilesToDelete->setTristate(true);
    cbFilesToDelete->setToolTip(
        QStringLiteral("Grayed: deletions are shown with everything else\n"
                       "Checked: only deletions are shown\n"
                       "Unchecked: deletions are hidden and not carried out"));
    lbDelete = new QLabel(QStringLiteral("0 (0.0kB)"), this);
    lbDelete->setObjectName("lbDelete");
    lbDelete->setAccessibleName(QStringLiteral("To Delete:"));
    Label6 = label("Label6", "Files Shown:");
    lbTotalFilesShown = new QLabel(QStringLiteral("0 (0.0kB)"), this);
    lbTotalFilesShown->setObjectName("lbTotalFilesShown");
    Label3->setBuddy(lbRightToLeft);
    Label5->setBuddy(lbMove);
    Label4->setBuddy(lbLeftToRight);
    Label6->setBuddy(lbTotalFilesShown);

    auto* counters = new QGridLayout;
    counters->setHorizontalSpacing(8);
    counters->setVerticalSpacing(3);
    QWidget* rows[][2] = {{Label3, lbRightToLeft},
                          {Label5, lbMove},
                          {Label4, lbLeftToRight},
                          {cbFilesToDelete, lbDelete},
                          {Label6, lbTotalFilesShown}};
    for (int r = 0; r < 5; ++r) {
        counters->addWidget(rows[r][0], r, 0);
        counters->addWidget(rows[r][1], r, 1);
    }
    counters->setColumnStretch(1, 1);

    rgState =
        new TRadioGroup("rgState", " State ",
                        {"Show All", "Affected", "L to R", "R to L", "Unaffected"}, false, this);
    rgExistence = new TRadioGroup("rgExistence", " Existence ",
                                  {"Show All", "Orphans", "Duplicates"}, false, this);
    rgMovedFiles = new TRadioGroup("rgMovedFiles", " Moved Files ",
                                   {"Show", "Show Only", "Don't Show"}, false, this);
    rgAdjustMovedFiles = new TRadioGroup("rgAdjustMovedFiles", " Adjust Them ",
                                         {"On the Left", "Right"}, true, this);
    for (TRadioGroup* g : {rgState, rgExistence, rgMovedFiles, rgAdjustMovedFiles})
        g->SetItemIndexSilently(0);
    connect(rgState, &TRadioGroup::Click, this, &TFSyncStatus::rgStateClick);
    connect(rgExistence, &TRadioGroup::Click, this, &TFSyncStatus::rgExistenceClick);
    connect(rgMovedFiles, &TRadioGroup::Click, this, &TFSyncStatus::rgMovedFilesClick);
    connect(rgAdjustMovedFiles, &TRadioGroup::Click, this, &TFSyncStatus::rgAdjustMovedFilesClick);
    connect(cbFilesToDelete, &QCheckBox::stateChanged, this, &TFSyncStatus::cbFilesToDeleteChange);

    btSelectAll = new QPushButton(QStringLiteral("Select All"), this);
    btSelectAll->setObjectName("btSelectAll");
    btSelectAll->setAutoDefault(false);
    btStart = new QPushButton(QStringLiteral("Start"), this);
    btStart->setObjectName("btStart");
    btStart->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName("btCancel");
    btCancel->setAutoDefault(false);
    connect(btSelectAll, &QPushButton::clicked, this, &TFSyncStatus::btSelectAllClick);
    connect(btStart, &QPushButton::clicked, this, &TFSyncStatus::btStartClick);
    connect(btCancel, &QPushButton::clicked, this, &TFSyncStatus::reject);

    Label1 = label("Label1", "Left Base Folder:");
    lbLeftBaseFolder = new TPathLabel(this);
    lbLeftBaseFolder->setObjectName("lbLeftBaseFolder");
    Label2 = label("Label2", "Right Base Folder:");
    lbRightBaseFolder = new TPathLabel(this);
    lbRightBaseFolder->setObjectName("lbRightBaseFolder");
    for (auto [path, color] : {std::pair{lbLeftBaseFolder, kMaroon}, {lbRightBaseFolder, kNavy}}) {
        QPalette p = path->palette();
        p.setColor(QPalette::WindowText, color);
        path->setPalette(p);
        path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    Label1->setBuddy(lbLeftBaseFolder);
    Label2->setBuddy(lbRightBaseFolder);

    Grid = new TStatusGrid(this);
    Grid->setObjectName("Grid");
    connect(Grid, &TStatusGrid::CommandKey, this, &TFSyncStatus::CommandKey);

    // Left: what the plan does and which part of it is shown; right: where, and the plan.
    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    left->addLayout(counters);
    left->addSpacing(4);
    left->addWidget(rgState);
    auto* pair = new QHBoxLayout;
    pair->setSpacing(6);
    pair->addWidget(rgExistence);
    pair->addWidget(rgMovedFiles);
    left->addLayout(pair);
    left->addWidget(rgAdjustMovedFiles);
    left->addStretch(1);
    left->addWidget(btSelectAll);

    auto* paths = new QGridLayout;
    paths->setHorizontalSpacing(8);
    paths->setVerticalSpacing(2);
    paths->addWidget(Label1, 0, 0);
    paths->addWidget(lbLeftBaseFolder, 0, 1);
    paths->addWidget(Label2, 1, 0);
    paths->addWidget(lbRightBaseFolder, 1, 1);
    paths->setColumnStretch(1, 1);

    lbDeleteLimit = new QLabel(this);
    lbDeleteLimit->setObjectName("lbDeleteLimit");
    lbDeleteLimit->setWordWrap(true);
    {
        QPalette p = lbDeleteLimit->palette();
        p.setColor(QPalette::WindowText, Qt::red);
        lbDeleteLimit->setPalette(p);
        QFont bold = lbDeleteLimit->font();
        bold.setBold(true);
        lbDeleteLimit->setFont(bold);
    }
    lbDeleteLimit->hide();

    auto* buttons = new QHBoxLayout;
    // The warning takes the room beside the buttons; without it the buttons stay right.
    buttons->addWidget(lbDeleteLimit, 1);
    buttons->addStretch(0);
    buttons->addWidget(btStart);
    buttons->addWidget(btCancel);

    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    right->addLayout(paths);
    right->addWidget(Grid, 1);
    right->addLayout(buttons);

    auto* main = new QHBoxLayout(this);
    main->setContentsMargins(8, 8, 8, 8);
    main->setSpacing(8);
    main->addLayout(left);
    main->addLayout(right, 1);
}

void TFSyncStatus::BuildMenu() {
    PopupMenu1 = new QMenu(this);
    controls::Help(PopupMenu1, 210);
    PopupMenu1->setObjectName("PopupMenu1");
    struct tItemDef {
        QAction** Field;
        tMenuItem Item;
        const char* Name;
        const char* Text;
        const char* Keys;
        bool Checkable;
        void (TFSyncStatus::*Handler)();
        bool SeparatorAfter;
    };
    const tItemDef defs[] = {
        {&ThisItemShowsWhichFileIsBeingAffected1, tMenuItem::Title,
         "ThisItemShowsWhichFileIsBeingAffected1", "This Item Shows Which File Is Being Affected",
         "", false, nullptr, true},
        {&CopyLefttoRight1, tMenuItem::CopyLeftToRight, "CopyLefttoRight1", "Copy Left to &Right",
         "Right, >", true, &TFSyncStatus::CopyLefttoRight1Click, false},
        {&CopyRighttoLeft1, tMenuItem::CopyRightToLeft, "CopyRighttoLeft1", "Copy Right to &Left",
         "Left, <", true, &TFSyncStatus::CopyRighttoLeft1Click, false},
        {&MovetoFolderXXX1, tMenuItem::Move, "MovetoFolderXXX1", "&Move to Folder: XXX", "", true,
         &TFSyncStatus::MovetoFolderXXX1Click, false},
        {&Delete1, tMenuItem::Delete, "Delete1", "&Delete", "Del", true,
         &TFSyncStatus::Delete1Click, true},
        {&ReverttoDefaultAction1, tMenuItem::Revert, "ReverttoDefaultAction1",
         "&Revert to Default Action", "Backspace", false,
         &TFSyncStatus::ReverttoDefaultAction1Click, false},
        {&LeaveAlone1, tMenuItem::LeaveAlone, "LeaveAlone1", "Leave &Alone", "Space, =", true,
         &TFSyncStatus::LeaveAlone1Click, false},
        {&RemoveFromList1, tMenuItem::Remove, "RemoveFromList1", "Remo&ve From List", "", false,
         &TFSyncStatus::RemoveFromList1Click, true},
        {&DeleteNow2, tMenuItem::DeleteNowBoth, "DeleteNow2", "Delete &Now (1 file)", "", false,
         &TFSyncStatus::DeleteNow2Click, false},
        {&DeleteNow1, tMenuItem::DeleteNowLeft, "DeleteNow1", "D&elete Now From Left Side Only", "",
         false, &TFSyncStatus::DeleteNow1Click, false},
        {&DeleteNowFromRightFolder1, tMenuItem::DeleteNowRight, "DeleteNowFromRightFolder1",
         "Delete No&w From Right Side Only", "", false,
         &TFSyncStatus::DeleteNowFromRightFolder1Click, true},
        {&Rename, tMenuItem::RenameBoth, "Rename", "Rename Now (1 file)", "", false,
         &TFSyncStatus::RenameClick, false},
        {&RenameLeft, tMenuItem::RenameLeft, "RenameLeft", "Rename Now On Left Side Only", "",
         false, &TFSyncStatus::RenameLeftClick, false},
        {&RenameRight, tMenuItem::RenameRight, "RenameRight", "Rename No&w On Right Side Only", "",
         false, &TFSyncStatus::RenameRightClick, false},
    };
    for (const tItemDef& d : defs) {
        QAction* a = PopupMenu1->addAction(QString::fromLatin1(d.Text));
        a->setObjectName(d.Name);
        a->setProperty("keys", QString::fromLatin1(d.Keys));
        a->setCheckable(d.Checkable);
        a->setStatusTip(kHelpHint);
        a->setEnabled(false);
        if (d.Handler) connect(a, &QAction::triggered, this, d.Handler);
        *d.Field = a;
        items_[Index(d.Item)] = a;
        if (d.SeparatorAfter) PopupMenu1->addSeparator();
    }
    ApplyPopupState();
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TFSyncStatus::PopupMenu1Popup);
    connect(Grid, &TStatusGrid::PopupRequested, this, [this](QPoint at) { PopupMenu1->popup(at); });
}

QString TFSyncStatus::Caption(const QAction* item) {
    return item ? item->text().section(QLatin1Char('\t'), 0, 0) : QString();
}

std::pair<int, int> TFSyncStatus::Selection() const {
    return Grid->SelectedRows();
}

bool TFSyncStatus::PrepareRun() {
    if (!Profile) return false;
    Executed = false;
    setWindowTitle("Synchronization Status: " + QString::fromStdString(Profile->Name));
    lbLeftBaseFolder->setText(FromBytes(Profile->LeftPath));
    lbLeftBaseFolder->setToolTip(lbLeftBaseFolder->text());
    lbRightBaseFolder->setText(FromBytes(Profile->RightPath));
    lbRightBaseFolder->setToolTip(lbRightBaseFolder->text());

    const tStatusFilter f = Profile->Filter;
    // Deletions are planned by an exact mirror and by a run that remembers the last one.
    const bool deletions = ExactMirrorInEffect(*Profile) || RememberInEffect(*Profile);
    {
        const QSignalBlocker quiet(cbFilesToDelete);
        cbFilesToDelete->setCheckState(ToCheckState(f.cbFilesToDelete));
    }
    cbFilesToDelete->setEnabled(deletions);
    lbDelete->setEnabled(deletions);
    const auto captions = StateCaptions(*Profile);
    for (int i = 0; i < rgState->Count(); ++i)
        rgState->Item(i)->setText(QString::fromStdString(captions[i]));
    rgState->SetItemIndexSilently(f.rgState);
    rgExistence->SetItemIndexSilently(f.rgExistence);
    rgMovedFiles->SetItemIndexSilently(f.rgMovedFiles);
    rgAdjustMovedFiles->SetItemIndexSilently(f.rgAdjustMovedFiles);
    adjustLocked_ = AdjustMovedFilesLocked(*Profile);
    rgAdjustMovedFiles->setEnabled(AdjustMovedFilesEnabled(f.rgMovedFiles, adjustLocked_));
    btStart->setEnabled(true);
    btCancel->setEnabled(true);

    Grid->GridModel()->SetList(nullptr);
    list_ = std::make_unique<tStatusList>(*Profile);
    UpdateStatusSummary(*Profile);
    Grid->GridModel()->SetList(list_.get());
    Grid->FitColumns();
    ShowSummary();
    btStart->setFocus();
    return true;
}

void TFSyncStatus::SetExecuting(bool executing) {
    executing_ = executing;
    btStart->setEnabled(!executing);
    btCancel->setEnabled(!executing);
    rgState->setEnabled(!executing);
    rgExistence->setEnabled(!executing);
    rgMovedFiles->setEnabled(!executing);
    const bool adjust =
        Profile && AdjustMovedFilesEnabled(rgMovedFiles->ItemIndex(), adjustLocked_);
    rgAdjustMovedFiles->setEnabled(!executing && adjust);
    if (executing) {
        cbFilesToDelete->setEnabled(false);
        progressTimer_->start();
    } else {
        cbFilesToDelete->setEnabled(Profile &&
                                    (ExactMirrorInEffect(*Profile) || RememberInEffect(*Profile)));
        progressTimer_->stop();
    }
}

void TFSyncStatus::ShowSummary() {
    if (!list_) return;
    lbLeftToRight->setText(QString::fromStdString(list_->lbLeftToRight));
    lbRightToLeft->setText(QString::fromStdString(list_->lbRightToLeft));
    lbMove->setText(QString::fromStdString(list_->lbMove));
    lbDelete->setText(QString::fromStdString(list_->lbDelete));
    lbTotalFilesShown->setText(QString::fromStdString(list_->lbTotalFilesShown));
    // What an unattended run would refuse, said before Start.
    const std::string tooMany =
        Profile ? DeletionLimitExceeded(*Profile, RunSettings().DeleteLimit) : std::string();
    lbDeleteLimit->setText(QString::fromStdString(tooMany));
    lbDeleteLimit->setVisible(!tooMany.empty());
}

void TFSyncStatus::Rebuild() {
    if (!Profile) return;
    tStatusFilter& f = Profile->Filter;
    f.rgState = rgState->ItemIndex();
    f.rgExistence = rgExistence->ItemIndex();
    f.rgMovedFiles = rgMovedFiles->ItemIndex();
    f.rgAdjustMovedFiles = rgAdjustMovedFiles->ItemIndex();
    f.cbFilesToDelete = ToTriState(cbFilesToDelete->checkState());
    // The row the user was on stays selected when the new list still shows it.
    const int32_t kept = list_ ? list_->EntryIndex(Selection().first) : -1;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    BuildStatusList(*Profile);
    Grid->GridModel()->Reload();
    QApplication::restoreOverrideCursor();
    Grid->FitColumns();
    ShowSummary();
    if (kept < 0) return;
    const std::vector<int32_t>& rows = Profile->RowIndex;
    const auto at = std::find(rows.begin() + 1, rows.end(), kept);
    if (at == rows.end()) return;
    const int row = static_cast<int>(at - rows.begin());
    Grid->SelectRows(row, row);
    Grid->scrollTo(Grid->GridModel()->index(row - 1, 1));
}

// --- filter handlers ----------------------------------------------------------------------

void TFSyncStatus::rgStateClick() {
    if (Profile) Rebuild();
}

void TFSyncStatus::rgAdjustMovedFilesClick() {
    if (Profile) Rebuild();
}

void TFSyncStatus::rgExistenceClick() {
    if (!Profile) return;
    if (rgExistence->ItemIndex() == 2 && rgMovedFiles->ItemIndex() == 1)
        rgMovedFiles->SetItemIndex(0); // its handler rebuilds
    else
        Rebuild();
}

void TFSyncStatus::rgMovedFilesClick() {
    if (!Profile) return;
    rgAdjustMovedFiles->setEnabled(
        !executing_ && AdjustMovedFilesEnabled(rgMovedFiles->ItemIndex(), adjustLocked_));
    if (rgMovedFiles->ItemIndex() == 1 && rgExistence->ItemIndex() == 2)
        rgExistence->SetItemIndex(0); // its handler rebuilds
    else
        Rebuild();
}

void TFSyncStatus::cbFilesToDeleteChange() {
    if (Profile && !SuppressChange) Rebuild();
}

// --- popup menu ---------------------------------------------------------------------------

void TFSyncStatus::PopupMenu1Popup() {
    if (!Profile) return;
    const auto [top, bottom] = Selection();
    if (executing_) {
        popup_.Enabled.fill(false);
    } else {
        PopupMenuState(*Profile, top, bottom, popup_);
    }
    PopupTitle = FromBytes(popup_.Title);
    ApplyPopupState();
}

void TFSyncStatus::ApplyPopupState() {
    auto setCaption = [](QAction* a, const QString& caption) {
        const QString keys = a->property("keys").toString();
        a->setText(keys.isEmpty() ? caption : caption + QLatin1Char('\t') + keys);
    };
    for (int i = 0; i < kMenuItemCount; ++i) {
        QAction* a = items_[i];
        a->setEnabled(popup_.Enabled[i]);
        if (a->isCheckable()) a->setChecked(popup_.Checked[i]);
        setCaption(a, Caption(a));
    }
    setCaption(ThisItemShowsWhichFileIsBeingAffected1, FromBytes(popup_.Title));
    setCaption(MovetoFolderXXX1, FromBytes(popup_.MoveCaption));
    setCaption(DeleteNow2, FromBytes(popup_.DeleteNowCaption));
    setCaption(Rename, FromBytes(popup_.RenameCaption));
}

void TFSyncStatus::CheckOnly(QAction* item) {
    for (tMenuItem i : {tMenuItem::CopyLeftToRight, tMenuItem::CopyRightToLeft, tMenuItem::Move,
                        tMenuItem::Delete, tMenuItem::LeaveAlone}) {
        popup_.Checked[Index(i)] = MenuItem(i) == item;
        MenuItem(i)->setChecked(MenuItem(i) == item);
    }
}

// The menu's state as last derived decides (a triggered checkable action has already
// flipped its own check mark).
bool TFSyncStatus::SetActionOfSelection(QAction* item, tAction action) {
    if (!Profile || executing_ || !list_) return false;
    const int i = static_cast<int>(std::find(items_.begin(), items_.end(), item) - items_.begin());
    if (i >= kMenuItemCount || !popup_.Enabled[i] || popup_.Checked[i]) {
        if (i < kMenuItemCount) item->setChecked(popup_.Checked[i]);
        return false;
    }
    const auto [top, bottom] = Selection();
    if (!ValidSelection(*Profile, top, bottom)) return false;
    for (int row = top; row <= bottom; ++row) {
        TFileListEntry* e = list_->RowEntry(row);
        if (!e) continue;
        AdjustPlanStatistics(*Profile, *e, -1, false);
        e->Action = action;
        if (action != tAction::actLeaveAlone) AdjustPlanStatistics(*Profile, *e, +1, false);
    }
    UpdateStatusSummary(*Profile);
    CheckOnly(item);
    Grid->GridModel()->RowsChanged(top, bottom);
    ShowSummary();
    return true;
}

void TFSyncStatus::CopyLefttoRight1Click() {
    SetActionOfSelection(CopyLefttoRight1, tAction::actCopyToRight);
}

void TFSyncStatus::CopyRighttoLeft1Click() {
    SetActionOfSelection(CopyRighttoLeft1, tAction::actCopyToLeft);
}

void TFSyncStatus::MovetoFolderXXX1Click() {
    SetActionOfSelection(MovetoFolderXXX1, tAction::actMove);
}

void TFSyncStatus::LeaveAlone1Click() {
    SetActionOfSelection(LeaveAlone1, tAction::actLeaveAlone);
}

void TFSyncStatus::Delete1Click() {
    if (!SetActionOfSelection(Delete1, tAction::actDelete) || cbFilesToDelete->isEnabled()) return;
    // Deletions are now part of the plan: show them, without rebuilding the list.
    SuppressChange = true;
    cbFilesToDelete->setCheckState(Qt::PartiallyChecked);
    SuppressChange = false;
    Profile->Filter.cbFilesToDelete = tTriState::Grayed;
    cbFilesToDelete->setEnabled(true);
    lbDelete->setEnabled(true);
}

void TFSyncStatus::ReverttoDefaultAction1Click() {
    if (!Profile || executing_ || !list_ || !popup_.IsEnabled(tMenuItem::Revert)) return;
    const auto [top, bottom] = Selection();
    if (!ValidSelection(*Profile, top, bottom)) return;
    for (int row = top; row <= bottom; ++row) {
        TFileListEntry* e = list_->RowEntry(row);
        if (!e) continue;
        AdjustPlanStatistics(*Profile, *e, -1, false);
        e->Action = e->DefaultAction;
        AdjustPlanStatistics(*Profile, *e, +1, false);
    }
    UpdateStatusSummary(*Profile);
    PopupMenu1Popup();
    Grid->GridModel()->RowsChanged(top, bottom);
    ShowSummary();
}

void TFSyncStatus::RemoveFromList1Click() {
    if (!Profile || executing_ || !list_ || !popup_.IsEnabled(tMenuItem::Remove)) return;
    const auto [top, bottom] = Selection();
    if (!ValidSelection(*Profile, top, bottom)) return;
    tPlanStatistics& s = Profile->Stats;
    for (int row = top; row <= bottom; ++row) {
        TFileListEntry* e = list_->RowEntry(row);
        if (!e) continue;
        AdjustPlanStatistics(*Profile, *e, -1, false);
        e->Action = e->DefaultAction = tAction::actNone;
        // The counters follow the rows that leave: files and folders each their own.
        if (e->LeftIsFolder) {
            --s.FolderRowsShown;
        } else {
            --s.FilesShown;
            s.BytesShown -= ShownSize(*e);
        }
    }
    std::vector<int32_t>& rows = Profile->RowIndex;
    Grid->GridModel()->RemoveRows(
        top, bottom, [&] { rows.erase(rows.begin() + top, rows.begin() + bottom + 1); });
    UpdateStatusSummary(*Profile);
    ShowSummary();
    const int remaining = Grid->GridModel()->rowCount();
    if (remaining > 0) {
        const int next = std::min(top, remaining);
        Grid->SelectRows(next, next);
    }
}

void TFSyncStatus::btSelectAllClick() {
    if (!Profile) return;
    Grid->selectAll();
    Grid->setFocus();
}

void TFSyncStatus::btStartClick() {
    if (!Profile || executing_) return;
    NumberAffectedRows(*Profile);
    accept();
}

void TFSyncStatus::CommandKey(int key) {
    if (!Profile || executing_) return;
    PopupMenu1Popup();
    QAction* item = nullptr;
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Greater:
        item = CopyLefttoRight1;
        break;
    case Qt::Key_Left:
    case Qt::Key_Less:
        item = CopyRighttoLeft1;
        break;
    case Qt::Key_Delete:
        item = Delete1;
        break;
    case Qt::Key_Space:
    case Qt::Key_Equal:
        item = LeaveAlone1;
        break;
    case Qt::Key_Backspace:
        item = ReverttoDefaultAction1;
        break;
    default:
        break;
    }
    if (item && item->isEnabled()) item->trigger();
}

// --- immediate commands -------------------------------------------------------------------

void TFSyncStatus::LeavePair(int row, TFileListEntry& e, bool left, const char* mark) {
    (left ? e.Left : e.Right) = TEntrySide{};
    if (left)
        e.SetLeftSize(0);
    else
        e.SetRightSize(0);
    (left ? e.LeftIsLink : e.RightIsLink) = false;
    list_->SetCellText(row, left ? 2 : 5, mark);
    list_->SetCellText(row, left ? 3 : 6, "");
    e.SetMovedPath(std::string());
    e.Action = e.DefaultAction = tAction::actNone;
}

bool TFSyncStatus::DeleteSide(int row, TFileListEntry& e, bool left,
                              std::vector<std::string>& failures, bool& trashed) {
    const std::string& base = left ? Profile->LeftPath : Profile->RightPath;
    const std::string path =
        NormalizeSlashes(base + "/" + e.RelPath() + "/" + std::string(e.Name()));
    int32_t deleted = 0, versions = 0, folders = 0;
    errno = 0;
    trashed = false;
    // Into the trash where its file system has one; deleted as before where it has none.
    const tTrashResult put =
        Profile->RecycleDeletedFiles ? trash_.MoveToTrash(path) : tTrashResult::NoTrash;
    trashed = put == tTrashResult::Trashed;
    if (put == tTrashResult::Failed ||
        (put == tTrashResult::NoTrash &&
         DeleteOneFile(*Profile, path, base, false, deleted, versions, folders) !=
             tExecResult::Done)) {
        const int error = errno != 0 ? errno : EIO;
        failures.push_back(path + " (" + std::strerror(error) + ")");
        return false;
    }
    AdjustPlanStatistics(*Profile, e, -1, false);
    LeavePair(row, e, left, "(deleted)");
    return true;
}

void TFSyncStatus::DeleteNowSelected(bool left, bool right) {
    if (!Profile || executing_ || !list_) return;
    int deleted = 0, trashed = 0;
    bool deleteAll = false;
    std::vector<std::string> failures;
    const auto [top, bottom] = Selection();
    if (ValidSelection(*Profile, top, bottom)) {
        const std::vector<std::string> options = {"Yes, delete NOW.", "No, skip.",
                                                  "Yes, delete all selected files."};
        for (int row = top; row <= bottom; ++row) {
            TFileListEntry* e = list_->RowEntry(row);
            if (!e) continue;
            const tSides sides = ChooseSides(*e, left, right);
            if (!sides.Left && !sides.Right) continue;
            if (!deleteAll) {
                const int answer = Ui().ChooseOption(
                    "Do you want to delete " + std::string(e->Name()) + " from " + sides.Text + "?",
                    options, 2);
                if (answer == 0) break;
                if (answer == 2) continue;
                if (answer == 3) deleteAll = true;
            }
            for (bool onLeft : {true, false}) {
                bool inTrash = false;
                if ((onLeft ? sides.Left : sides.Right) &&
                    DeleteSide(row, *e, onLeft, failures, inTrash))
                    ++(inTrash ? trashed : deleted);
            }
        }
        UpdateStatusSummary(*Profile);
        Grid->GridModel()->RowsChanged(top, bottom);
        ShowSummary();
    }
    if (!Profile->RecycleDeletedFiles) {
        Ui().ShowInfo(ResultMessage(deleted, "deleted", failures, "Could not delete:"));
        return;
    }
    // Where a file system has no trash, the files deleted there are gone: the message says so.
    std::string text = CountText(trashed, "moved to the trash") + ".";
    if (deleted > 0) {
        std::string places;
        for (const std::string& top : trash_.NoTrashFolders())
            places += (places.empty() ? "" : ", ") + top;
        text += "\n" + CountText(deleted, "deleted for good") + " (no trash on " + places + ").";
    }
    Ui().ShowInfo(ResultMessage(0, "", failures, "Could not delete:", text));
}

void TFSyncStatus::RenameNowSelected(bool left, bool right) {
    if (!Profile || executing_ || !list_) return;
    int renamed = 0;
    std::vector<std::string> failures;
    const auto [top, bottom] = Selection();
    if (ValidSelection(*Profile, top, bottom)) {
        for (int row = top; row <= bottom; ++row) {
            TFileListEntry* e = list_->RowEntry(row);
            if (!e) continue;
            const tSides sides = ChooseSides(*e, left, right);
            if (!sides.Left && !sides.Right) continue;
            bool cancelled = false;
            const std::string answer = Ui().AskForText(
                "Enter new name for " + std::string(e->Name()) + " on " + sides.Text, 255,
                cancelled, std::string(e->Name()), "");
            if (cancelled) break;
            if (answer.empty() || answer == e->Name()) continue;
            if (!ValidNewName(answer)) {
                failures.push_back(answer + " (not a name within one folder)");
                continue;
            }
            auto renameSide = [&](bool onLeft) {
                const std::string& base = onLeft ? Profile->LeftPath : Profile->RightPath;
                const std::string folder = base + "/" + e->RelPath() + "/";
                const std::string from = NormalizeSlashes(folder + std::string(e->Name()));
                const int error = RenameNoReplace(from, NormalizeSlashes(folder + answer));
                if (error == 0) return true;
                failures.push_back(from + " -> " + answer + " (" + std::strerror(error) + ")");
                return false;
            };
            const bool leftDone = sides.Left && renameSide(true);
            const bool rightDone = sides.Right && renameSide(false);
            renamed += (leftDone ? 1 : 0) + (rightDone ? 1 : 0);
            if (!leftDone && !rightDone) continue;
            // The row stays one pair only when every file it pairs now carries the new name.
            const bool keepPair =
                (!e->Left.Present || leftDone) && (!e->Right.Present || rightDone);
            if (keepPair) {
                e->SetName(answer);
            } else {
                AdjustPlanStatistics(*Profile, *e, -1, false);
                if (leftDone) LeavePair(row, *e, true, "(renamed)");
                if (rightDone) LeavePair(row, *e, false, "(renamed)");
            }
        }
        UpdateStatusSummary(*Profile);
        Grid->GridModel()->RowsChanged(top, bottom);
        ShowSummary();
    }
    Ui().ShowInfo(ResultMessage(renamed, "renamed", failures, "Could not rename:"));
}

// --- form events --------------------------------------------------------------------------

QSize TFSyncStatus::FormCanResize(QSize wanted) const {
    const QSize needed = layout() ? layout()->minimumSize() : QSize();
    return {std::max({wanted.width(), 800, needed.width()}),
            std::max({wanted.height(), 483, needed.height()})};
}

void TFSyncStatus::FormShow() {
    SuppressChange = false;
}

void TFSyncStatus::FormActivate() {
    if (!Profile || btStart->isEnabled() || !Profile->CopyingWindow) return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->objectName() == QLatin1String("FCopyingStatus") && w->isVisible() &&
            w->isEnabled()) {
            w->raise();
            w->activateWindow();
            return;
        }
    }
}

void TFSyncStatus::showEvent(QShowEvent* event) {
    FormShow();
    setMinimumSize(FormCanResize(QSize()));
    tNxForm<QDialog>::showEvent(event);
}

void TFSyncStatus::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    tNxForm<QDialog>::changeEvent(event);
}

void TFSyncStatus::closeEvent(QCloseEvent* event) {
    if (executing_) {
        event->ignore();
        return;
    }
    tNxForm<QDialog>::closeEvent(event);
}

void TFSyncStatus::reject() {
    if (!executing_) tNxForm<QDialog>::reject();
}

// --- entry points -------------------------------------------------------------------------

bool ReviewPlan(tProfile& profile) {
    TFSyncStatus window(TFSyncMain::Instance());
    window.Profile = &profile;
    if (!window.PrepareRun()) return false;
    return window.exec() == QDialog::Accepted;
}

void ShowPlan(tProfile& profile) {
    shownPlan = std::make_unique<TFSyncStatus>(TFSyncMain::Instance());
    shownPlan->Profile = &profile;
    shownPlan->PrepareRun();
    shownPlan->SetExecuting(true);
    shownPlan->show();
    QCoreApplication::processEvents();
}

void PlanDone() {
    if (!shownPlan) return;
    shownPlan->SetExecuting(false);
    shownPlan->hide();
    shownPlan.reset();
}

TFSyncStatus* ShownPlanWindow() {
    return shownPlan.get();
}

} // namespace corvane::gui
