#include "ui/HelpWindow.h"

#include "ui/PageControls.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace corvane::gui {

namespace {

const QString kManual = QStringLiteral("qrc:/manual/");

} // namespace

QString HelpSection(int context) {
    switch (context) {
    case 10: return "options.md";
    case 100:
    case 110: return "profiles.md";
    case 120: return "masks.md";
    case 130: return "modes.md";
    case 140: return "more.md";
    case 150: return "comparison.md";
    case 160: return "schedule.md";
    case 170: return "unattended.md";
    case help::Scheduler: return "scheduler.md";
    case 200:
    case 210: return "review.md";
    case help::SelectItems: return "selectitems.md";
    case help::Copying: return "copying.md";
    default: return "index.md";
    }
}

int HelpContextOf(const QWidget* w) {
    // A page control asks for the page in front; a page without a context of its own
    // comes back to the page control's on the way up.
    if (auto* bar = qobject_cast<const QTabBar*>(w))
        if (auto* pages = qobject_cast<const QTabWidget*>(bar->parentWidget())) w = pages;
    if (auto* pages = qobject_cast<const QTabWidget*>(w); pages && pages->currentWidget())
        w = pages->currentWidget();
    for (; w; w = w->parentWidget()) {
        const QVariant context = w->property("HelpContext");
        if (context.isValid()) return context.toInt();
        if (w->isWindow()) break;
    }
    return 0;
}

TFHelpWindow::TFHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FHelpWindow");
    setWindowTitle("Corvane Help");
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("Browser");
    browser_->setOpenExternalLinks(true);
    browser_->setSearchPaths({":/manual"});
    auto* contents = controls::Button(this, "btContents", "&Contents");
    auto* back = controls::Button(this, "btBack", "&Back");
    auto* close = controls::Button(this, "btClose", "Close");
    back->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_, 1);
    layout->addLayout(buttons);
    connect(contents, &QPushButton::clicked, this, [this] { ShowSection("index.md"); });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    resize(620, 520);
}

void TFHelpWindow::ShowSection(const QString& section) {
    const QUrl url(kManual + section);
    if (browser_->source() != url) browser_->setSource(url, QTextDocument::MarkdownResource);
    show();
    raise();
    activateWindow();
}

QString TFHelpWindow::Section() const { return browser_->source().fileName(); }

TFHelpWindow* ShowHelp(QWidget* from) {
    if (!from) return nullptr;
    QWidget* window = from->window();
    QWidget* focus = QApplication::focusWidget();
    const QWidget* asked = focus && focus->window() == window ? focus : from;
    auto* help = window->findChild<TFHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!help) help = new TFHelpWindow(window);
    help->ShowSection(HelpSection(HelpContextOf(asked)));
    return help;
}

void InstallHelp(QWidget* window, int context) {
    controls::Help(window, context);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, window);
    f1->setObjectName("HelpShortcut");
    f1->setContext(Qt::WindowShortcut);
    QObject::connect(f1, &QShortcut::activated, window, [window] { ShowHelp(window); });
}

} // namespace corvane::gui
