#include "widgets/WrapCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace corvane::gui {

namespace {
constexpr int kTextFlags = Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop;
} // namespace

tWrapCheckBox::tWrapCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int tWrapCheckBox::IndicatorWidth() const {
    QStyleOptionButton option;
    option.initFrom(this);
    return style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this).left();
}

QRect tWrapCheckBox::TextRect(int width) const {
    const int left = TextIndent();
    const QRect bounds = fontMetrics().boundingRect(QRect(left, 0, qMax(1, width - left), 10000),
                                                    kTextFlags, text());
    return QRect(left, 0, qMax(1, width - left), bounds.height());
}

int tWrapCheckBox::heightForWidth(int width) const {
    QStyleOptionButton option;
    option.initFrom(this);
    const int indicator =
        style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this);
    return qMax(indicator, TextRect(width).height()) + 2;
}

QSize tWrapCheckBox::sizeHint() const {
    const int width = TextIndent() + fontMetrics().horizontalAdvance(text()) + 4;
    return QSize(width, heightForWidth(width));
}

QSize tWrapCheckBox::minimumSizeHint() const {
    const int width = TextIndent() + fontMetrics().averageCharWidth() * 16;
    return QSize(width, heightForWidth(width));
}

void tWrapCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    // The indicator alone, level with the first line of the caption.
    option.rect.setHeight(qMin(height(), fontMetrics().height() + 2));
    painter.drawControl(QStyle::CE_CheckBox, option);
    painter.setFont(font());
    style()->drawItemText(&painter, TextRect(width()), kTextFlags, palette(), isEnabled(), caption,
                          QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = TextRect(width()).adjusted(-1, 0, 1, 1);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool tWrapCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

} // namespace corvane::gui
