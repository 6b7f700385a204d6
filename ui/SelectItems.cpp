#include "ui/SelectItems.h"

#include "engine/BaseFolderItems.h"
#include "engine/Masks.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "profiles/Profile.h"
#include "ui/HelpWindow.h"
#include "ui/SyncMain.h"
#include "widgets/Bytes.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace corvane::gui {

namespace {

TFSelectItems* instance = nullptr;
bool instanceDestroyed = false;

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFSelectItems::TFSelectItems(QWidget* parent) : tNxForm<QDialog>(parent) {
    setObjectName("FSelectItems");
    InstallHelp(this, help::SelectItems);
    BuildWindow();
    instance = this;
}

TFSelectItems::~TFSelectItems() {
    if (instance == this) {
        instance = nullptr;
        instanceDestroyed = true;
    }
}

TFSelectItems* TFSelectItems::Instance() {
    if (!instance && !instanceDestroyed) new TFSelectItems();
    return instance;
}

void TFSelectItems::BuildWindow() {
    setWindowTitle("Select Base Folder Items");
    setMinimumWidth(MinimumWidth);
    resize(MinimumWidth + 45, 420);

    cbAllowGrayed = new tWrapCheckBox("Check here to enable tristate checkboxes.", this);
    cbAllowGrayed->setObjectName("cbAllowGrayed");
    // The whole sentence in one label, wrapped to the dialog's width; it names the marks as
    // the list draws them (a check mark, and a filled square for the third state).
    Label1 = new QLabel(QString("Place checkmarks next to the items to be processed. A filled "
                                "square (click a checked item once more) marks a folder that "
                                "will be used for moved files only but not for copying (") +
                            QChar('"') + "obsolete files folder" + QChar('"') + ").",
                        this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    Label1->setBuddy(cbAllowGrayed);

    clbItems = new tCheckListBox(this);
    clbItems->setObjectName("clbItems");
    // The side tags line up, and so do the names behind them.
    clbItems->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    btOK = Button(this, "btOK", "&OK");
    btOK->setDefault(true);
    btCancel = Button(this, "btCancel", "&Cancel");
    btAll = Button(this, "btAll", "&All");
    btNone = Button(this, "btNone", "&None");
    btFolders = Button(this, "btFolders", "&Folders Only");
    btRefresh = Button(this, "btRefresh", "&Refresh");
    btHelp = Button(this, "btHelp", "&Help");
    btHelp->setFocusPolicy(Qt::NoFocus);


    auto* side = new QVBoxLayout;
    side->addWidget(btAll);
    side->addWidget(btNone);
    side->addWidget(btFolders);
    side->addStretch(1);
    side->addWidget(btRefresh);

    auto* middle = new QHBoxLayout;
    middle->addWidget(clbItems, 1);
    middle->addLayout(side);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btHelp);
    bottom->addStretch(1);
    bottom->addWidget(btOK);
    bottom->addWidget(btCancel);

    auto* heading = new QVBoxLayout;
    heading->setSpacing(4);
    heading->addWidget(Label1);
    heading->addWidget(cbAllowGrayed);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(heading);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btAll, &QPushButton::clicked, this, [this] { btAllClick(); });
    connect(btNone, &QPushButton::clicked, this, [this] { btNoneClick(); });
    connect(btFolders, &QPushButton::clicked, this, [this] { btFoldersClick(); });
    connect(btRefresh, &QPushButton::clicked, this, [this] { btRefreshClick(); });
    connect(btHelp, &QPushButton::clicked, this, [this] { ShowHelp(this); });
    connect(cbAllowGrayed, &QCheckBox::toggled, this, [this] { cbAllowGrayedChange(); });
}

void TFSelectItems::btRefreshClick() {
    if (!Profile) return;
    bool cancelled = false;
    std::vector<tBaseFolderItem> items;
    try {
        items = ListBaseFolderItems(*Profile, cancelled);
    } catch (const EMaskException& e) {
        ShowInfo(e.what());
        return;
    }
    if (cancelled) return;
    const std::string remembered = clbItems->count() > 0 ? CollectSelection() : std::string();
    clbItems->clear();
    items_ = std::move(items);
    for (const tBaseFolderItem& item : items_)
        clbItems->AddItem(FromBytes(BaseFolderItemText(item)),
                          QByteArray::fromStdString(item.Name));
    ApplySelection(remembered);
}

void TFSelectItems::btAllClick() {
    for (int row = 0; row < ItemCount(); ++row) SetItemState(row, 1);
}

void TFSelectItems::btNoneClick() {
    for (int row = 0; row < ItemCount(); ++row) SetItemState(row, 0);
}

void TFSelectItems::btFoldersClick() {
    for (int row = 0; row < ItemCount(); ++row) SetItemState(row, ItemIsFolder(row) ? 1 : 0);
}

void TFSelectItems::cbAllowGrayedChange() { clbItems->SetAllowGrayed(cbAllowGrayed->isChecked()); }

bool TFSelectItems::FormCanResize(int newWidth, int) const { return newWidth >= MinimumWidth; }

std::string TFSelectItems::CollectSelection() const {
    std::vector<tItemState> states;
    states.reserve(ItemCount());
    for (int row = 0; row < ItemCount(); ++row) states.push_back({ItemName(row), ItemState(row)});
    return BaseFolderSelection(states);
}

void TFSelectItems::ApplySelection(std::string_view selection) {
    std::vector<std::string> names;
    names.reserve(items_.size());
    for (const tBaseFolderItem& item : items_) names.push_back(item.Name);
    const std::vector<int> states = BaseItemStates(selection, names);
    bool grayed = false;
    for (int row = 0; row < ItemCount(); ++row) {
        SetItemState(row, states[row]);
        grayed = grayed || states[row] == 2;
    }
    if (grayed) cbAllowGrayed->setChecked(true);
}

int TFSelectItems::Execute(tProfile& profile, std::string& selection) {
    clbItems->clear();
    items_.clear();
    Profile = &profile;
    btRefreshClick();
    int result = 2;
    if (ItemCount() > 0) {
        ApplySelection(selection);
        KeepAbove(QApplication::activeWindow());
        clbItems->setCurrentRow(0);
        clbItems->setFocus();
        ++shownCount_;
        if (exec() == QDialog::Accepted) {
            selection = CollectSelection();
            result = 1;
        }
    }
    Profile = nullptr;
    return result;
}

void TFSelectItems::KeepAbove(QWidget* owner) {
    if (!owner || owner == this || parentWidget()) return;
    // The window manager keeps the dialog above the window that opened it; without a
    // stored position it opens centred over it.
    winId();
    if (windowHandle() && owner->windowHandle())
        windowHandle()->setTransientParent(owner->windowHandle());
    move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
}

int TFSelectItems::ItemCount() const { return clbItems->count(); }

bool TFSelectItems::ValidRow(int row) const {
    return row >= 0 && row < static_cast<int>(items_.size());
}

std::string TFSelectItems::ItemText(int row) const {
    return ValidRow(row) ? BaseFolderItemText(items_[row]) : std::string();
}

std::string TFSelectItems::ItemName(int row) const {
    return ValidRow(row) ? items_[row].Name : std::string();
}

bool TFSelectItems::ItemIsFolder(int row) const { return ValidRow(row) && items_[row].IsFolder; }

int TFSelectItems::ItemState(int row) const { return clbItems->State(row); }

void TFSelectItems::SetItemState(int row, int state) {
    clbItems->SetState(row, state == 1   ? tCheckListBox::Checked
                            : state == 2 ? tCheckListBox::Grayed
                                         : tCheckListBox::Unchecked);
}

void InstallSelectItems(TFSyncMain& main) {
    main.BaseFolderItemsDialog = [](tProfile& profile, std::string& selection) {
        TFSelectItems* dialog = TFSelectItems::Instance();
        return dialog ? dialog->Execute(profile, selection) : 2;
    };
}

} // namespace corvane::gui
