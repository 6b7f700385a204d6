// The choice dialog with the details of the source and destination files, asked by the
// executor before it overwrites or deletes a file. Created once at start.
#pragma once

#include "engine/UiPort.h"
#include "ui/Choice.h"

#include <QLabel>

namespace corvane::gui {

// A label showing a file name on one line: elided in the middle when the window is
// narrower than the name, the whole name as its tooltip.
class tFileNameLabel : public QLabel {
    Q_OBJECT
public:
    explicit tFileNameLabel(QWidget* parent = nullptr);
    void SetFileName(const QString& name);
    const QString& FileName() const { return name_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();
    QString name_;
};

class TFInfoChoice : public TFChoice {
    Q_OBJECT
public:
    explicit TFInfoChoice(QWidget* parent = nullptr);
    ~TFInfoChoice() override;

    // The one instance, created when missing (owned by the main window when one exists).
    static TFInfoChoice* Instance();

    // Shows choice's message, options and file details and waits: the chosen option's
    // number from 1 after OK, 0 after Cancel. Names are bytes.
    int ChooseWithFileInfo(const tFileChoice& choice);
    // Fills the labels without showing the window.
    void SetFileInfo(const tFileChoice& choice);

    QLabel* lbSourceFile = nullptr;
    tFileNameLabel* lbSourceFilename = nullptr;
    QLabel* lbSourceSize = nullptr;
    QLabel* lbSourceDate = nullptr;
    QLabel* lbDestFile = nullptr;
    tFileNameLabel* lbDestFilename = nullptr;
    QLabel* lbDestSize = nullptr;
    QLabel* lbDestDate = nullptr;
};

} // namespace corvane::gui
