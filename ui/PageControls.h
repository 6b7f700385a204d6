// The pieces the main window's pages are built from: a radio group, and short helpers that
// create a named control with its caption.
#pragma once

#include <QGroupBox>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QUrl;
class QWidget;

namespace corvane::gui {

// A radio group: a titled frame of radio buttons with an item index (-1: none chosen).
class tRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    tRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                QWidget* parent);
    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;
signals:
    // A user's click on one of the items.
    void Clicked();

private:
    QButtonGroup* group_;
};

namespace controls {

inline QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
inline std::string S(const QString& s) { return s.toStdString(); }

void Hint(QWidget* w, const char* text);
// The help context F1 opens for the control.
void Help(QWidget* w, int context);

template <class W>
W* Named(W* w, const char* name) {
    w->setObjectName(name);
    return w;
}

QCheckBox* Check(QWidget* parent, const char* name, const char* caption, bool on = false);
QLabel* Text(QWidget* parent, const char* name, const char* caption);
QLineEdit* Edit(QWidget* parent, const char* name, const char* text = "");
// A short number field; the validator keeps typed values inside the option record's widths.
QLineEdit* Number(QWidget* parent, const char* name, const char* text, int max = 9999);
QPushButton* Button(QWidget* parent, const char* name, const char* caption);
QToolButton* BrowseButton(QWidget* parent, const char* name);
// Makes edit a folder field: folders dropped from a file manager (a dropped file stands for
// its folder) replace its text, and typed paths complete to existing folders.
void PathField(QLineEdit* edit);
// The folder a dropped list of URLs names: the first local one, a file replaced by its
// folder; empty when none is local.
QString DroppedFolder(const QList<QUrl>& urls);

} // namespace controls
} // namespace corvane::gui
