#pragma once
// A controller scripted in the test: FakePort replies from a table of
// payloads and notes how many bytes each read asked for.
#include "device/FullReadView.h"
#include "link/DeviceLink.h"
#include "tests/support/FakePort.h"

#include <QStringList>
#include <memory>

struct ScriptedLink {
    std::shared_ptr<FakePort::State> state = std::make_shared<FakePort::State>();
    DeviceLink link;

    ScriptedLink()
        : link(std::make_unique<FakePort>(state))
    {
        state->open = true;   // as after a successful search
    }
    // Answers `command` with "OK   :" + payload + CR from now on.
    void answer(const QByteArray &command, const QByteArray &payload)
    {
        state->replies.insert(command, FakePort::ok(payload));
    }
    void answerRaw(const QByteArray &command, const QByteArray &reply)
    {
        state->replies.insert(command, reply);
    }
};

// Notes what the full read puts into the window, in order.
class RecordingView : public FullReadView {
public:
    QStringList events;
    // The relayout of this line's text handler fails with this error.
    int failingLine = -1;
    std::optional<QString> setReceiptText(int line, const QString &text) override
    {
        events << QStringLiteral("text %1 %2").arg(line).arg(text);
        if (line == failingLine)
            return QStringLiteral("relayout failed");
        return std::nullopt;
    }
    void setMagnificationIndex(int box, int index) override
    {
        events << QStringLiteral("index %1 %2").arg(box).arg(index);
    }
    void setCommentBlack(int line) override { events << QStringLiteral("black %1").arg(line); }
    void setIdentificationText(const QString &text) override
    {
        events << QStringLiteral("ident %1").arg(text);
    }
};
