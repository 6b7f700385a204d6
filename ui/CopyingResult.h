// The copying result window: counts per side and the files that could not be copied.
#pragma once

#include "engine/UiPort.h"
#include "ui/NxForm.h"

#include <QColor>
#include <QDialog>

class QLabel;
class QPalette;
class QPlainTextEdit;
class QPushButton;

namespace corvane::gui {

// The colour of one side's heading and values: maroon for the left, navy for the right,
// lightened on a dark window background so that they stay readable.
QColor SideColour(bool left, const QPalette& palette);

class TFCopyingResult : public tNxForm<QDialog> {
    Q_OBJECT
public:
    static constexpr int NarrowWidth = 328; // without failed files
    static constexpr int WideWidth = 490;   // with the list of failed files

    explicit TFCopyingResult(QWidget* parent = nullptr);
    ~TFCopyingResult() override;

    // The one instance created at start (created when missing); it goes with the main
    // window.
    static TFCopyingResult* Instance();

    // Fills the window from result without showing it.
    void SetResult(const tCopyingResult& result);
    // Fills the window from result and shows it modally.
    void ShowResult(const tCopyingResult& result);

    // Handlers.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Recolour();

    QWidget* grid_ = nullptr;
    QLabel* lbLeft = nullptr;
    QLabel* LMDSimpleLabel2 = nullptr;
    QLabel *LMDSimpleLabel1 = nullptr, *lbAddedL = nullptr, *lbAddedR = nullptr;
    QLabel *LMDSimpleLabel3 = nullptr, *lbMovedL = nullptr, *lbMovedR = nullptr;
    QLabel *LMDSimpleLabel5 = nullptr, *lbFoldersCreatedL = nullptr, *lbFoldersCreatedR = nullptr;
    QLabel *lbFoldersRemoved = nullptr, *lbFoldersRemovedL = nullptr, *lbFoldersRemovedR = nullptr;
    QLabel *lbDeleted = nullptr, *lbDeletedL = nullptr, *lbDeletedR = nullptr;
    QLabel *lbRenamed = nullptr, *lbFilesRenamedL = nullptr, *lbFilesRenamedR = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* RichEdit1 = nullptr;
    QPushButton* btOK = nullptr;
    bool recolouring_ = false;
};

} // namespace corvane::gui
