#pragma once
// The rig every window test builds on: the main window offscreen in a port
// sandbox, with its value dialog, and behind it either the fake port on a
// device published as a COM number, or the controller emulator. The modal
// answerer is made on first use, so a test may bring its own instead.
#include "tests/support/FakePort.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/PortSandbox.h"
#include "tests/support/WindowProbes.h"
#include "ui/TDataSetDialog.h"
#include "ui/TMainForm.h"

#include <QTabWidget>
#include <memory>

class WindowFixture {
public:
    // The COM number the fake device is published as.
    static constexpr int FakeCom = 7;

    WindowFixture() = default;
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    PortSandbox sandbox;
    std::shared_ptr<FakePort::State> port = std::make_shared<FakePort::State>();
    std::unique_ptr<TDataSetDialog> dialog = std::make_unique<TDataSetDialog>();
    std::unique_ptr<TMainForm> form;

    // The window on the fake port, found by the search as COM7 on /dev/null
    // (a device any machine has and no controller answers on: the fake port
    // does the talking); `io` stands in for the plain fake port where the
    // test wraps it.
    // Commands the test scripts nothing for get a normal reply without a
    // payload: heard, yet vouching for no value.
    TMainForm &openOnFakePort(std::unique_ptr<PortIo> io = nullptr)
    {
        sandbox.publish(FakeCom, QStringLiteral("/dev/null"));
        if (!port->fallback)
            port->fallback = [](const QByteArray &) { return FakePort::ok(); };
        return open(io ? std::move(io) : std::make_unique<FakePort>(port));
    }
    // The window on the machine's serial port code, for the emulator.
    TMainForm &openOnSerialPort() { return open(nullptr); }

    ModalAnswerer &answerer()
    {
        if (!answerer_)
            answerer_ = std::make_unique<ModalAnswerer>(form.get());
        return *answerer_;
    }

    template <class T = QWidget> T *child(const char *name) const { return findControl<T>(form.get(), name); }
    void clickCell(const char *grid, int col, int row) { clickGridCell(child<StringGrid>(grid), col, row); }
    void showPage(const char *page)
    {
        child<QTabWidget>("PageControl")->setCurrentWidget(child<QWidget>(page));
    }

private:
    TMainForm &open(std::unique_ptr<PortIo> io)
    {
        form = std::make_unique<TMainForm>(std::move(io));
        form->setDataSetDialog(dialog.get());
        return *form;
    }

    std::unique_ptr<ModalAnswerer> answerer_;
};
