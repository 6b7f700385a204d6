// A check box whose caption wraps onto further lines when the box is narrower than the
// text, instead of being cut off. Its height follows its width.
#pragma once

#include <QCheckBox>

namespace corvane::gui {

class tWrapCheckBox : public QCheckBox {
public:
    explicit tWrapCheckBox(const QString& text, QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Where the caption starts: a label continuing it lines up when indented by this.
    int TextIndent() const { return IndicatorWidth() + 2; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    // Where the caption goes when the box is width pixels wide.
    QRect TextRect(int width) const;
    int IndicatorWidth() const;
};

} // namespace corvane::gui
