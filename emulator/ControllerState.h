#pragma once
// Everything a controller keeps. The model answers commands from it; the
// scenario file fills it.
#include <QByteArray>
#include <array>
#include <cstdint>

namespace Controller {
constexpr int Columns = 16;
constexpr int Options = 6;
constexpr int ReceiptLines = 3;
constexpr int Tubes = 8;
constexpr int Inputs = 20;
constexpr int ReceiptTextMax = 32;   // bytes of one receipt line's text
constexpr int IdTextMax = 10;        // bytes the identification read carries
constexpr int MaxPrice = 999;
} // namespace Controller

struct ReceiptLine {
    int x = 1;              // horizontal magnification 1-4
    int y = 1;              // vertical magnification 1-4
    QByteArray text;        // code page 932 bytes
    bool operator==(const ReceiptLine &o) const { return x == o.x && y == o.y && text == o.text; }
};

// The settings a controller takes from the write commands and keeps only
// when told to store them.
struct ControllerSettings {
    std::array<int, Controller::Options> options{};
    std::array<ReceiptLine, Controller::ReceiptLines> receipt{};
    QByteArray idText;
    std::array<int, Controller::Tubes> tubeStandard{};
    bool operator==(const ControllerSettings &o) const
    {
        return options == o.options && receipt == o.receipt && idText == o.idText
            && tubeStandard == o.tubeStandard;
    }
};

struct ControllerState {
    QByteArray versionText = "QUVO ver2.05";
    int statusFlags = 0;                                  // bit 0x02: automatic change off
    std::array<int, Controller::Columns> prices{};        // as the price commands carry them
    std::array<int, Controller::Columns> counts{};        // 0-FFFF
    std::uint32_t salesTotal = 0;
    int earnValueC = 0;                                   // answered to "QVREC"
    int coinReplyValue = 0;                               // first four characters of "QVC"
    QByteArray coinReplyTail = QByteArray(15, '0');       // the other fifteen
    ControllerSettings settings;                          // in force
    std::array<int, Controller::Tubes> tubeCurrent{};
    std::array<bool, Controller::Inputs> inputs{};        // index = signal number
    bool writeMode = false;
    // "QVZ0" clears the sixteen counts only; the total since the last memory
    // clear stays, as some controllers keep it.
    bool clearKeepsTotal = false;
    int reconciliationCounter = 0;
    std::uint32_t refundTotal = 0;
};
