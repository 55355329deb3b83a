// The I/O port panel: monitor or manual mode, and in manual mode the input
// lamps that switch the controller's input signals.
#include "ui/TMainForm.h"

#include "device/IoPort.h"
#include "ui/IoPanel.h"
#include "ui_TMainForm.h"

#include <QSignalBlocker>

void TMainForm::drawIoPanel()
{
    ui->Image1->setPixmap(IoPanel::drawPicture(LampBitmap));
    OutputSignalState.fill(0);
    HoverLampRow = -1;
}

void TMainForm::resetIoPanelMode()
{
    // A connection starts in monitor mode without telling the controller.
    {
        const QSignalBlocker quiet(ui->PanelMode);
        ui->PanelMode->setCurrentIndex(0);
    }
    ui->PanelMode->setEnabled(true);
}

void TMainForm::drawInputLamp(int row, bool hovered)
{
    const bool on = OutputSignalState[std::size_t(IoPort::rowSignal(row))] != 0;
    QPixmap picture = ui->Image1->pixmap();
    IoPanel::drawInputLamp(picture, LampBitmap[IoPanel::inputLamp(on, hovered)], row);
    ui->Image1->setPixmap(picture);
}

void TMainForm::PanelModeChange()
{
    if (!link().portHandleValid())
        return;
    const bool manual = ui->PanelMode->currentIndex() == 1;
    lineEntry(
        [this, manual] {
            line_.run([this, manual](DeviceLink &link) {
                if (manual)
                    IoPort::enterManualMode(link, OutputSignalState);
                else
                    IoPort::leaveManualMode(link);
            });
        },
        [this] { PanelModeChange(); });
}

void TMainForm::Image1MouseMove(Qt::KeyboardModifiers, int X, int Y)
{
    if (!manualMode())
        return;
    const int row = IoPort::lampRowAt(X, Y);
    if (row >= 0) {
        if (HoverLampRow == row)
            return; // its ring is drawn already
        if (HoverLampRow >= 0)
            drawInputLamp(HoverLampRow, false);
        HoverLampRow = row;
        drawInputLamp(row, true);
    } else if (HoverLampRow >= 0) {
        drawInputLamp(HoverLampRow, false);
        HoverLampRow = -1;
    }
}

void TMainForm::Image1MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    Image1MouseMove(Shift, X, Y);
    if (Button != Qt::LeftButton || HoverLampRow == -1)
        return;
    // Only manual mode drives the inputs: a ring left over from an earlier
    // manual mode must not send anything in monitor mode or without a port.
    if (!manualMode() || !link().portHandleValid())
        return;
    const int row = HoverLampRow;
    lineEntry(
        [this, row] {
            line_.run([this, row](DeviceLink &link) {
                IoPort::toggleSignal(link, OutputSignalState, IoPort::rowSignal(row));
            });
            drawInputLamp(row, true);
        },
        [this, X, Y] { Image1MouseDown(Qt::LeftButton, Qt::NoModifier, X, Y); });
}
