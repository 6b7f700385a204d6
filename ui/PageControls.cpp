#include "ui/PageControls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCompleter>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace corvane::gui {

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
// Control helpers

namespace controls {

void Hint(QWidget* w, const char* text) { w->setToolTip(QString::fromUtf8(text)); }
void Help(QWidget* w, int context) { w->setProperty("HelpContext", context); }

QCheckBox* Check(QWidget* parent, const char* name, const char* caption, bool on) {
    auto* b = Named(new QCheckBox(QString::fromUtf8(caption), parent), name);
    b->setChecked(on);
    return b;
}

QLabel* Text(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

QLineEdit* Edit(QWidget* parent, const char* name, const char* text) {
    return Named(new QLineEdit(QString::fromUtf8(text), parent), name);
}

QLineEdit* Number(QWidget* parent, const char* name, const char* text, int max) {
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

namespace {

// Takes folder drops (text/uri-list) for a line edit; other drops keep the edit's own
// handling.
class tFolderDrop : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* edit = static_cast<QLineEdit*>(watched);
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (!drag->mimeData()->hasUrls()) return false;
            if (DroppedFolder(drag->mimeData()->urls()).isEmpty() || edit->isReadOnly() ||
                !edit->isEnabled())
                drag->ignore();
            else
                drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!drop->mimeData()->hasUrls()) return false;
            const QString folder = DroppedFolder(drop->mimeData()->urls());
            if (folder.isEmpty() || edit->isReadOnly() || !edit->isEnabled()) {
                drop->ignore();
                return true;
            }
            edit->setFocus(Qt::OtherFocusReason);
            edit->selectAll();
            edit->insert(folder); // as typing does: undo, textEdited
            drop->acceptProposedAction();
            return true;
        }
        default:
            return false;
        }
    }
};

} // namespace

QString DroppedFolder(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        const QFileInfo info(url.toLocalFile());
        QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        if (folder.isEmpty()) continue;
        return QDir::cleanPath(folder);
    }
    return {};
}

void PathField(QLineEdit* edit) {
    edit->setAcceptDrops(true);
    edit->installEventFilter(new tFolderDrop(edit));
    auto* model = new QFileSystemModel(edit);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    model->setRootPath(QString());
    auto* completer = new QCompleter(model, edit);
    completer->setObjectName(edit->objectName() + "Completer");
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    edit->setCompleter(completer);
    // The model reads a folder only when asked for it, in the background: ask for the folder
    // being typed in, and offer its subfolders once they have been read.
    QObject::connect(edit, &QLineEdit::textEdited, model, [model](const QString& text) {
        const qsizetype slash = text.lastIndexOf('/');
        if (slash >= 0) model->index(slash == 0 ? QStringLiteral("/") : text.left(slash));
    });
    QObject::connect(model, &QFileSystemModel::directoryLoaded, edit,
                     [edit, completer](const QString& folder) {
                         const QString text = edit->text();
                         if (!text.startsWith(folder) || completer->completionPrefix() == text &&
                                                             completer->completionCount() > 0)
                             return;
                         completer->setCompletionPrefix(text);
                         if (edit->hasFocus()) completer->complete();
                     });
}

} // namespace controls
} // namespace corvane::gui
