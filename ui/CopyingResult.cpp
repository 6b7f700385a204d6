#include "ui/CopyingResult.h"

#include "ui/HelpWindow.h"
#include "ui/SyncMain.h"
#include "widgets/Bytes.h"

#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>
#include <algorithm>

namespace corvane::gui {

namespace {

QPointer<TFCopyingResult> instance;
constexpr int kMargin = 8;

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

QColor SideColour(bool left, const QPalette& palette) {
    const QColor design = left ? QColor(0x80, 0x00, 0x00) : QColor(0x00, 0x00, 0x80);
    if (palette.color(QPalette::Window).lightness() >= 128) return design;
    // The same hue, light enough to read on a dark background.
    return QColor::fromHsl(design.hslHue(), design.hslSaturation(), 190);
}

TFCopyingResult::TFCopyingResult(QWidget* parent) : tNxForm<QDialog>(parent) {
    setObjectName("FCopyingResult");
    InstallHelp(this, help::Copying);
    setWindowTitle("Copying Results");
    // Centred on the screen each time (FormShow), not where it was last.
    RestorePositionOnShow = false;
    SavePositionOnHide = false;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    grid_ = new QWidget(this);
    grid_->setObjectName("pnCounts");
    auto* grid = new QGridLayout(grid_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(text, grid_);
        l->setObjectName(name);
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    lbLeft = label("lbLeft", "Left");
    LMDSimpleLabel2 = label("LMDSimpleLabel2", "Right");
    for (QLabel* heading : {lbLeft, LMDSimpleLabel2}) {
        QFont f = heading->font();
        f.setUnderline(true);
        heading->setFont(f);
    }
    grid->addWidget(lbLeft, 0, 1);
    grid->addWidget(LMDSimpleLabel2, 0, 2);

    struct tRow {
        QLabel*& Caption;
        const char* CaptionName;
        const char* Text;
        QLabel*& Left;
        const char* LeftName;
        QLabel*& Right;
        const char* RightName;
    };
    const tRow rows[] = {
        {LMDSimpleLabel1, "LMDSimpleLabel1", "Files Added:", lbAddedL, "lbAddedL", lbAddedR,
         "lbAddedR"},
        {LMDSimpleLabel3, "LMDSimpleLabel3", "Files Moved:", lbMovedL, "lbMovedL", lbMovedR,
         "lbMovedR"},
        {LMDSimpleLabel5, "LMDSimpleLabel5", "Folders Created:", lbFoldersCreatedL,
         "lbFoldersCreatedL", lbFoldersCreatedR, "lbFoldersCreatedR"},
        {lbFoldersRemoved, "lbFoldersRemoved", "Folders Removed:", lbFoldersRemovedL,
         "lbFoldersRemovedL", lbFoldersRemovedR, "lbFoldersRemovedR"},
        {lbDeleted, "lbDeleted", "Files Deleted:", lbDeletedL, "lbDeletedL", lbDeletedR,
         "lbDeletedR"},
        {lbRenamed, "lbRenamed", "Renamed (older v.):", lbFilesRenamedL, "lbFilesRenamedL",
         lbFilesRenamedR, "lbFilesRenamedR"},
    };
    int row = 1;
    for (const tRow& r : rows) {
        r.Caption = label(r.CaptionName, r.Text);
        r.Left = label(r.LeftName, "");
        r.Right = label(r.RightName, "");
        for (QLabel* value : {r.Left, r.Right}) {
            QFont f = value->font();
            f.setBold(true);
            value->setFont(f);
        }
        r.Caption->setBuddy(r.Left);
        grid->addWidget(r.Caption, row, 0);
        grid->addWidget(r.Left, row, 1);
        grid->addWidget(r.Right, row, 2);
        ++row;
    }
    grid->setColumnStretch(3, 1);

    btOK = new QPushButton("&OK", this);
    btOK->setObjectName("btOK");
    btOK->setDefault(true);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);

    Label1 = new QLabel("Files That Could Not Be Copied", this);
    Label1->setObjectName("Label1");
    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Label1->setBuddy(RichEdit1);

    Recolour();
}

TFCopyingResult::~TFCopyingResult() = default;

TFCopyingResult* TFCopyingResult::Instance() {
    if (!instance) {
        instance = new TFCopyingResult();
        if (TFSyncMain* main = TFSyncMain::Instance())
            QObject::connect(main, &QObject::destroyed, [] { delete instance.data(); });
    }
    return instance;
}

void TFCopyingResult::SetResult(const tCopyingResult& r) {
    const std::pair<QLabel*, const std::string*> values[] = {
        {lbAddedL, &r.lbAddedL},
        {lbAddedR, &r.lbAddedR},
        {lbMovedL, &r.lbMovedL},
        {lbMovedR, &r.lbMovedR},
        {lbFoldersCreatedL, &r.lbFoldersCreatedL},
        {lbFoldersCreatedR, &r.lbFoldersCreatedR},
        {lbFoldersRemovedL, &r.lbFoldersRemovedL},
        {lbFoldersRemovedR, &r.lbFoldersRemovedR},
        {lbDeletedL, &r.lbDeletedL},
        {lbDeletedR, &r.lbDeletedR},
        {lbFilesRenamedL, &r.lbFilesRenamedL},
        {lbFilesRenamedR, &r.lbFilesRenamedR},
    };
    for (const auto& [label, text] : values)
        label->setText(Utf8(*text));
    lbRenamed->setText(Utf8(r.lbRenamed));
    const struct {
        QLabel *Caption, *Left, *Right;
        bool Shown;
    } rows[] = {
        {lbDeleted, lbDeletedL, lbDeletedR, r.lbDeletedVisible},
        {lbRenamed, lbFilesRenamedL, lbFilesRenamedR, r.lbRenamedVisible},
        {lbFoldersRemoved, lbFoldersRemovedL, lbFoldersRemovedR, r.lbFoldersRemovedVisible},
    };
    for (const auto& row : rows)
        for (QLabel* label : {row.Caption, row.Left, row.Right})
            label->setVisible(row.Shown);
    QStringList lines;
    for (const std::string& line : r.RichEdit1)
        lines << FromBytes(line);
    RichEdit1->setPlainText(lines.join('\n'));
}

void TFCopyingResult::ShowResult(const tCopyingResult& result) {
    SetResult(result);
    exec();
}

void TFCopyingResult::FormShow() {
    Recolour();
    grid_->layout()->activate();
    const QSize counts = grid_->sizeHint();
    grid_->setGeometry(kMargin, kMargin, counts.width(), counts.height());

    const bool failures = !RichEdit1->document()->isEmpty();
    const int width =
        std::max(failures ? WideWidth : NarrowWidth, kMargin + counts.width() + kMargin);
    const QSize ok = btOK->sizeHint().expandedTo(QSize(88, 0));
    btOK->setGeometry((width - ok.width()) / 2, grid_->geometry().bottom() + 1 + 10, ok.width(),
                      ok.height());
    const int okBottom = btOK->geometry().bottom() + 1;

    Label1->setVisible(failures);
    RichEdit1->setVisible(failures);
    int height = okBottom + 6;
    if (failures) {
        const QSize caption = Label1->sizeHint();
        Label1->setGeometry(kMargin, okBottom + 10, width - 2 * kMargin, caption.height());
        const int listTop = Label1->geometry().bottom() + 1 + 3;
        const int listHeight = RichEdit1->fontMetrics().lineSpacing() * 8 + 12;
        RichEdit1->setGeometry(kMargin, listTop, width - 2 * kMargin, listHeight);
        height = RichEdit1->geometry().bottom() + 1 + 6;
    }
    setFixedSize(width, height);

    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
        const QRect area = s->availableGeometry();
        move(area.center().x() - width / 2, area.center().y() - height / 2);
    }
    btOK->setFocus();
}

void TFCopyingResult::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    tNxForm<QDialog>::showEvent(event);
}

void TFCopyingResult::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange && !recolouring_) Recolour();
    tNxForm<QDialog>::changeEvent(event);
}

void TFCopyingResult::Recolour() {
    recolouring_ = true;
    const QPalette base = palette();
    auto paint = [&](QLabel* label, bool left) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, SideColour(left, base));
        label->setPalette(p);
    };
    for (QLabel* l : {lbLeft, lbAddedL, lbMovedL, lbFoldersCreatedL, lbFoldersRemovedL, lbDeletedL,
                      lbFilesRenamedL})
        paint(l, true);
    for (QLabel* l : {LMDSimpleLabel2, lbAddedR, lbMovedR, lbFoldersCreatedR, lbFoldersRemovedR,
                      lbDeletedR, lbFilesRenamedR})
        paint(l, false);
    recolouring_ = false;
}

} // namespace corvane::gui
