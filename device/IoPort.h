#pragma once
// The I/O port panel's signals and its manual drive of the controller's
// inputs: which signal each panel row shows, where its input lamp lies, and
// the "QVX" strings that set the inputs.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

class DeviceLink;

namespace IoPort {

constexpr int SignalCount = 20;
constexpr int RowCount = 8;

// Picture geometry: image size, midline, lamp rows.
constexpr int ImageWidth = 251;
constexpr int ImageHeight = 335;
constexpr int Mid = ImageWidth / 2;       // 125
constexpr int FirstRowY = 50;
constexpr int RowPitch = 30;
constexpr int LampSize = 12;

// On/off per input signal (0 off, -1 on), as the panel drives them.
using SignalStates = std::array<std::int32_t, SignalCount>;

// Signal shown in panel row k: rows 0-3 signals 0-3, rows 4-7 signals 16-19.
int rowSignal(int row);
// Top edge of row k's lamps and names.
int rowY(int row);

// Names of signal s on the output (left) and input (right) side.
QString outputName(int signal);
QString inputName(int signal);

// Row whose input lamp covers image pixel (x, y), or -1. A lamp answers on
// its 13 x 13 square from (Mid, rowY(row)).
int lampRowAt(int x, int y);

// The twenty characters that set every input at once: signal 19 first,
// signal 0 last, "1" on and "0" off.
QByteArray fullStateString(const SignalStates &states);
// The twenty characters that change only signal s: "*" everywhere else.
QByteArray singleSignalString(int signal, bool on);

// Entering manual mode: every input state, then the write state.
void enterManualMode(DeviceLink &link, const SignalStates &states);
// Leaving it: releases the write state.
void leaveManualMode(DeviceLink &link);
// Inverts signal s and sends it; returns whether it is now on.
bool toggleSignal(DeviceLink &link, SignalStates &states, int signal);

} // namespace IoPort
