// A list of check box items with an optional third, grayed state. The user cycles an
// item unchecked -> checked -> grayed -> unchecked while AllowGrayed is on, and unchecked
// <-> checked otherwise; states set in code are kept whatever AllowGrayed says.
#pragma once

#include <QByteArray>
#include <QListWidget>
#include <QString>

namespace corvane::gui {

class tCheckListBox : public QListWidget {
public:
    enum tState { Unchecked = 0, Checked = 1, Grayed = 2 };

    explicit tCheckListBox(QWidget* parent = nullptr);

    // Appends an unchecked item showing text and carrying data; returns its row.
    int AddItem(const QString& text, const QByteArray& data = {});
    QByteArray Data(int row) const;
    tState State(int row) const;
    void SetState(int row, tState state);

    bool AllowGrayed() const { return allowGrayed_; }
    // Lets the user choose the grayed state (or not) on every item.
    void SetAllowGrayed(bool allow);

private:
    bool allowGrayed_ = false;
};

} // namespace corvane::gui
