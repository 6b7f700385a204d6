#include "ui/NxForm.h"

#include "profiles/Preferences.h"

#include <QGuiApplication>
#include <QScreen>

namespace corvane::gui {

QString PositionPrefKey(const QWidget& window, const QString& positionKey) {
    return "Pos" + (positionKey.isEmpty() ? window.objectName() : positionKey);
}

void SaveWindowPosition(const QWidget& window, const QString& positionKey) {
    if (!PrefStore()) return;
    tWindowPos pos;
    const QRect frame = window.geometry();
    pos.Left = frame.x();
    pos.Top = frame.y();
    pos.Width = frame.width();
    pos.Height = frame.height();
    pos.State = window.isMaximized() ? 2 : window.isMinimized() ? 1 : 0;
    if (pos.State == 2) {
        // Keep the normal geometry, so that un-maximizing after a restart has a place to go.
        const QRect normal = window.normalGeometry();
        if (normal.isValid()) {
            pos.Left = normal.x();
            pos.Top = normal.y();
            pos.Width = normal.width();
            pos.Height = normal.height();
        }
    }
    WritePref(PositionPrefKey(window, positionKey).toStdString(), EncodeWindowPos(pos), "Main");
}

namespace {

bool FixedSize(const QWidget& window) {
    return window.minimumSize() == window.maximumSize();
}

// Moves rect onto the primary screen when no screen shows a usable part of it.
QRect OntoAScreen(QRect rect) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = screen->availableGeometry().intersected(rect);
        if (shown.width() >= 40 && shown.height() >= 20) return rect;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return rect;
    const QRect area = primary->availableGeometry();
    rect.setSize(rect.size().boundedTo(area.size()));
    rect.moveCenter(area.center());
    return rect;
}

} // namespace

void RestoreWindowPosition(QWidget& window, const QString& positionKey) {
    const std::string value = ReadPref(PositionPrefKey(window, positionKey).toStdString(), "Main");
    tWindowPos pos;
    const QRect current = window.geometry();
    pos.Left = current.x();
    pos.Top = current.y();
    pos.Width = current.width();
    pos.Height = current.height();
    if (!DecodeWindowPos(value, pos)) return;
    if (pos.State == 2) {
        if (window.isVisible()) window.showMaximized();
        return;
    }
    QRect rect(pos.Left, pos.Top, current.width(), current.height());
    if (!FixedSize(window) && pos.Width > 0 && pos.Height > 0)
        rect.setSize(QSize(pos.Width, pos.Height).expandedTo(window.minimumSize()));
    rect = OntoAScreen(rect);
    window.setGeometry(rect);
}

} // namespace corvane::gui
