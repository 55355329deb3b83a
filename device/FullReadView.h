#pragma once
// What the full read puts into the window while it runs. The receipt lines
// reach their boxes one by one, before the sequence is over: each text runs
// its box's change handler, whose relayout may fail on what the operator
// typed and stop the read with the texts before it already shown. The main
// window implements this; tests record it.
#include <QString>
#include <optional>

class FullReadView {
public:
    virtual ~FullReadView() = default;
    // Receipt line 0-2 (Edit1-Edit3). Runs the box's change handler when
    // the text differs from what it holds; a conversion error of the
    // relayout that handler runs comes back here, unshown, and ends the read.
    virtual std::optional<QString> setReceiptText(int line, const QString &text) = 0;
    // Magnification box 0-5 (ComboBox1-ComboBox6): item index, -1 for no
    // selection (also an unread line's). Does not run the change handler.
    virtual void setMagnificationIndex(int box, int index) = 0;
    // The preview's comment label of line 0-2 turns black.
    virtual void setCommentBlack(int line) = 0;
    // Identification text box (runs its change handler when it differs).
    virtual void setIdentificationText(const QString &text) = 0;
};

// No window: the values the read makes are in the table and the settings'
// origins (the headless read, the fuzz targets).
class NoFullReadView : public FullReadView {
public:
    std::optional<QString> setReceiptText(int, const QString &) override { return std::nullopt; }
    void setMagnificationIndex(int, int) override {}
    void setCommentBlack(int) override {}
    void setIdentificationText(const QString &) override {}
};
