// The window base class: stores a window's position in the preferences ("Main", key
// "Pos" + PositionKey, or + the window's objectName when PositionKey is empty) each time
// it is hidden, and restores it each time it is shown, once before and once after the
// toolkit's own placement so that a stored position wins over centring.
#pragma once

#include <QEvent>
#include <QShowEvent>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace corvane::gui {

// The preferences key of a window: "Pos" + positionKey, or + objectName when it is empty.
QString PositionPrefKey(const QWidget& window, const QString& positionKey);
// Writes window's position under its key. Does nothing without a preferences store.
void SaveWindowPosition(const QWidget& window, const QString& positionKey);
// Applies the stored position, if any. Width and height are applied only to resizable
// windows; a position that lies on no screen is moved onto the primary screen.
void RestoreWindowPosition(QWidget& window, const QString& positionKey);

template <class Base>
class tNxForm : public Base {
public:
    using Base::Base;

    QString PositionKey;          // empty: the window's objectName
    bool SavePositionOnHide = true;
    bool RestorePositionOnShow = true;

protected:
    void showEvent(QShowEvent* event) override {
        if (RestorePositionOnShow && !event->spontaneous()) {
            RestoreWindowPosition(*this, PositionKey);
            // Once more after the toolkit has placed the window.
            QTimer::singleShot(0, this, [this] {
                if (this->isVisible()) RestoreWindowPosition(*this, PositionKey);
            });
        }
        Base::showEvent(event);
    }
    void hideEvent(QHideEvent* event) override {
        if (SavePositionOnHide && !event->spontaneous()) SaveWindowPosition(*this, PositionKey);
        Base::hideEvent(event);
    }
};

} // namespace corvane::gui
