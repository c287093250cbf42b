// A flat speed button: a caption beside or under a glyph whose picture may hold one picture per
// button state, drawn without a frame until the mouse is over it.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <array>

namespace rd {

class TSpeedButton : public QAbstractButton {
    Q_OBJECT

public:
    // The pictures of a four-state glyph, left to right.
    enum GlyphState { Up = 0, Disabled = 1, Hot = 2, Exclusive = 3 };

    explicit TSpeedButton(QWidget* parent = nullptr);

    // `states` 4: the picture holds the four state pictures side by side; any other count: one
    // picture for every state, greyed while disabled. An empty picture clears the glyph.
    // A picture without an alpha channel takes the colour of its bottom-left pixel as
    // transparent, as bitmap glyphs are drawn.
    void SetGlyph(const QPixmap& glyph, int states);
    const QPixmap& Glyph() const { return glyph_; }
    int GlyphStates() const { return states_; }

    // Flat: a frame only while the mouse is over the button or it is pressed; otherwise a
    // raised frame always.
    void SetFlat(bool flat);
    bool Flat() const { return flat_; }

    // The state whose picture is drawn now.
    GlyphState CurrentState() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QSize GlyphSize() const;
    QSize TextSize() const;

    QPixmap glyph_;
    int states_ = 1;
    // One prepared picture per GlyphState; all null without a glyph.
    std::array<QPixmap, 4> parts_;
    bool flat_ = true;
    bool hot_ = false;
};

}  // namespace rd
