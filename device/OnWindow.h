#pragma once
// The window's views as a sequence on the line thread sees them: every call
// is carried out on the window's thread while the line waits, so device
// code stays as it is and never touches a widget from the line.
#include "device/FullReadView.h"
#include "device/OperationHost.h"
#include "link/LineThread.h"

class FullReadViewOnWindow : public FullReadView {
public:
    FullReadViewOnWindow(LineThread &line, FullReadView &view) : line_(line), view_(view) {}
    std::optional<QString> setReceiptText(int line, const QString &text) override
    {
        return line_.onWindow([&] { return view_.setReceiptText(line, text); });
    }
    void setMagnificationIndex(int box, int index) override
    {
        line_.onWindow([&] { view_.setMagnificationIndex(box, index); });
    }
    void setCommentBlack(int line) override
    {
        line_.onWindow([&] { view_.setCommentBlack(line); });
    }
    void setIdentificationText(const QString &text) override
    {
        line_.onWindow([&] { view_.setIdentificationText(text); });
    }

private:
    LineThread &line_;
    FullReadView &view_;
};

class OperationHostOnWindow : public OperationHost {
public:
    OperationHostOnWindow(LineThread &line, OperationHost &host) : line_(line), host_(host) {}
    bool confirm(const QString &text) override { return line_.onWindow([&] { return host_.confirm(text); }); }
    void notify(const QString &text) override { line_.onWindow([&] { host_.notify(text); }); }
    void rejectInput() override { line_.onWindow([&] { host_.rejectInput(); }); }
    void reportError(const QString &text) override { line_.onWindow([&] { host_.reportError(text); }); }
    void reportNoAnswer() override { line_.onWindow([&] { host_.reportNoAnswer(); }); }
    bool manualMode() const override { return line_.onWindow([&] { return host_.manualMode(); }); }
    std::optional<QString> runFullRead() override { return line_.onWindow([&] { return host_.runFullRead(); }); }
    void showConversionError(const QString &message) override
    {
        line_.onWindow([&] { host_.showConversionError(message); });
    }
    void disconnectController() override { line_.onWindow([&] { host_.disconnectController(); }); }
    bool stillSameController() override { return line_.onWindow([&] { return host_.stillSameController(); }); }
    void loseController() override { line_.onWindow([&] { host_.loseController(); }); }
    void aboutToWrite(const WriteProof::SentSettings &sent) override
    {
        line_.onWindow([&] { host_.aboutToWrite(sent); });
    }
    void writeModeOpening() override { line_.onWindow([&] { host_.writeModeOpening(); }); }
    void writeModeEnded(WriteModeEnd end, const QStringList &sent) override
    {
        line_.onWindow([&] { host_.writeModeEnded(end, sent); });
    }
    void setWindowEnabled(bool enabled) override { line_.onWindow([&] { host_.setWindowEnabled(enabled); }); }

private:
    LineThread &line_;
    OperationHost &host_;
};
