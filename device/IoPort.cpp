#include "device/IoPort.h"

#include "link/DeviceLink.h"

namespace IoPort {

int rowSignal(int row)
{
    return row < 4 ? row : row + 12;
}

int rowY(int row)
{
    return FirstRowY + RowPitch * row;
}

QString outputName(int signal)
{
    if (signal >= 0 && signal < 16)
        return QStringLiteral("コラム%1販売可信号").arg(signal + 1);
    switch (signal) {
    case 16: return QStringLiteral("販売受理信号");
    case 17: return QStringLiteral("100円つり切れ信号");
    case 18: return QStringLiteral("10円つり切れ信号");
    case 19: return QStringLiteral("正常動作信号");
    }
    return QString();
}

QString inputName(int signal)
{
    if (signal >= 0 && signal < 16)
        return QStringLiteral("コラム%1購入選択信号").arg(signal + 1);
    switch (signal) {
    case 16: return QStringLiteral("返金予約信号");
    case 17: return QStringLiteral("[ユーザ入力#1]");
    case 18: return QStringLiteral("[ユーザ入力#2]");
    case 19: return QStringLiteral("入金可信号");
    }
    return QString();
}

int lampRowAt(int x, int y)
{
    const int d = y - FirstRowY;
    if (d < 0 || x < Mid || x > Mid + LampSize)
        return -1;
    const int row = d / RowPitch;
    const int rest = d - RowPitch * row;
    if (rest > LampSize || row >= RowCount)
        return -1;
    return row;
}

QByteArray fullStateString(const SignalStates &states)
{
    QByteArray text(SignalCount, '0');
    for (int s = 0; s < SignalCount; ++s)
        text[SignalCount - 1 - s] = states[std::size_t(s)] != 0 ? '1' : '0';
    return text;
}

QByteArray singleSignalString(int signal, bool on)
{
    QByteArray text(SignalCount, '*');
    // Position 20 - s counted from 1.
    text[SignalCount - 1 - signal] = on ? '1' : '0';
    return text;
}

void enterManualMode(DeviceLink &link, const SignalStates &states)
{
    link.Transact("QVX" + fullStateString(states), 6);
    link.Transact("QVU1", 2);
}

void leaveManualMode(DeviceLink &link)
{
    link.Transact("QVU0", 2);
}

bool toggleSignal(DeviceLink &link, SignalStates &states, int signal)
{
    std::int32_t &state = states[std::size_t(signal)];
    state = state != 0 ? 0 : -1;
    const bool on = state != 0;
    link.Transact("QVX" + singleSignalString(signal, on), 6);
    return on;
}

} // namespace IoPort
