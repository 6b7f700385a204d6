#include "ui/AboutPage.h"

#include "ui/HelpWindow.h"
#include "ui/PageControls.h"
#include "ui/SyncMain.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane::gui {

using namespace controls;

tAboutPage::tAboutPage(TFSyncMain& main) {
    setObjectName("tsAbout");
    auto* product = Text(this, "lbProduct", "Corvane");
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    product->setFont(big);
    auto* what = Text(this, "lbPurpose", "Synchronizes and backs up pairs of folder trees.");
    lbVersion = Text(this, "lbVersion", "");
    lbBuild = Text(this, "lbBuild", "");
    Help(this, help::Contents);
    LMDButton2 = Button(this, "LMDButton2", "E&xit");
    auto* layout = new QVBoxLayout(this);
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
    connect(LMDButton2, &QPushButton::clicked, &main, [&main] { main.btExitClick(); });
}

void tAboutPage::ShowVersion(const char* version, long long build) {
    lbVersion->setText(QString("v") + version);
    lbBuild->setText("build " + QString::number(build));
}

} // namespace corvane::gui
