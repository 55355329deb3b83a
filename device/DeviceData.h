#pragma once
// The table of values read from the controller: 68 signed 32-bit slots,
// all 0 at start, named by the ranges below. The main window owns one.
#include <array>
#include <cstdint>

namespace Slot {
constexpr int ColumnPrice = 0;         // 16 slots, tenths of the unit or plain yen
constexpr int ColumnSalesCount = 16;   // 16 slots
constexpr int TubeCurrentCount = 32;   // 8 slots, no read fills them
constexpr int TubeStandardCount = 40;  // 8 slots, operator input
constexpr int TubeSettableMax = 48;    // 8 slots, no read fills them
constexpr int SalesTotal = 56;
constexpr int EarnValueC = 57;
constexpr int EarnValueB = 58;
constexpr int CoinReplyValue = 59;
constexpr int OptionSelection = 60;    // 6 slots
constexpr int DeviceStatusFlags = 66;
constexpr int FirmwareVersion = 67;    // version x 100
constexpr int Count = 68;
} // namespace Slot

// Bit of DeviceStatusFlags: the controller's automatic change reconciliation is off.
constexpr std::int32_t AutoChangeDisabled = 0x02;

struct DeviceData {
    std::array<std::int32_t, Slot::Count> values{};

    std::int32_t &operator[](int i) { return values[std::size_t(i)]; }
    std::int32_t operator[](int i) const { return values[std::size_t(i)]; }

    // The named slots: writable, and by value for const callers.
    std::int32_t &ColumnPrice(int i) { return values[std::size_t(Slot::ColumnPrice + i)]; }
    std::int32_t ColumnPrice(int i) const { return values[std::size_t(Slot::ColumnPrice + i)]; }
    std::int32_t &ColumnSalesCount(int i) { return values[std::size_t(Slot::ColumnSalesCount + i)]; }
    std::int32_t ColumnSalesCount(int i) const { return values[std::size_t(Slot::ColumnSalesCount + i)]; }
    std::int32_t &TubeCurrentCount(int t) { return values[std::size_t(Slot::TubeCurrentCount + t)]; }
    std::int32_t TubeCurrentCount(int t) const { return values[std::size_t(Slot::TubeCurrentCount + t)]; }
    std::int32_t &TubeStandardCount(int t) { return values[std::size_t(Slot::TubeStandardCount + t)]; }
    std::int32_t TubeStandardCount(int t) const { return values[std::size_t(Slot::TubeStandardCount + t)]; }
    std::int32_t &TubeSettableMax(int t) { return values[std::size_t(Slot::TubeSettableMax + t)]; }
    std::int32_t TubeSettableMax(int t) const { return values[std::size_t(Slot::TubeSettableMax + t)]; }
    std::int32_t &OptionSelection(int k) { return values[std::size_t(Slot::OptionSelection + k)]; }
    std::int32_t OptionSelection(int k) const { return values[std::size_t(Slot::OptionSelection + k)]; }
    std::int32_t &SalesTotal() { return values[Slot::SalesTotal]; }
    std::int32_t SalesTotal() const { return values[Slot::SalesTotal]; }
    std::int32_t &EarnValueC() { return values[Slot::EarnValueC]; }
    std::int32_t EarnValueC() const { return values[Slot::EarnValueC]; }
    std::int32_t &EarnValueB() { return values[Slot::EarnValueB]; }
    std::int32_t EarnValueB() const { return values[Slot::EarnValueB]; }
    std::int32_t &CoinReplyValue() { return values[Slot::CoinReplyValue]; }
    std::int32_t CoinReplyValue() const { return values[Slot::CoinReplyValue]; }
    std::int32_t &DeviceStatusFlags() { return values[Slot::DeviceStatusFlags]; }
    std::int32_t DeviceStatusFlags() const { return values[Slot::DeviceStatusFlags]; }
    std::int32_t &FirmwareVersion() { return values[Slot::FirmwareVersion]; }
    std::int32_t FirmwareVersion() const { return values[Slot::FirmwareVersion]; }
};
