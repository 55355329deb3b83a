#pragma once
// Just enough of a controller behind the in-process fake port for the window
// tests: it keeps prices, sales counts, options, receipt lines, the
// identification text, the version text, the status flags and the sales
// total, answers the reads from them and takes the writes.
#include "device/ValueFormats.h"
#include "link/ShiftJis.h"
#include "tests/support/FakePort.h"

#include <QByteArray>
#include <array>
#include <memory>

struct FakeController {
    std::array<int, 16> price{};
    std::array<int, 16> count{};
    std::array<int, 6> option{};
    std::array<QByteArray, 3> line{QByteArray("22AB"), QByteArray("12CD"), QByteArray("11EF")};
    QByteArray identification = "ID";
    QByteArray version = "ver1.05";
    int status = 0;
    std::uint32_t salesTotal = 0;
    bool cleared = false;

    // A controller with a plausible state: distinct prices and counts, the
    // receipt lines and identification text, version 1.23, status flags 01.
    static FakeController Standard()
    {
        FakeController c;
        for (std::size_t i = 0; i < 16; ++i) {
            // 100, 110, ... yen in tenths; columns 5-8 count in whole yen.
            c.price[i] = i >= 4 && i <= 7 ? 100 + int(i) * 10 : 1000 + int(i) * 100;
            c.count[i] = int(i) * 37 + 7;
        }
        for (std::size_t k = 0; k < 6; ++k)
            c.option[k] = int(k + 1) % 2;
        c.line = {"22" + ShiftJis::encode(QStringLiteral("領 収 書")),
                  "12" + ShiftJis::encode(QStringLiteral("ご利用ありがとうございます")),
                  "11" + ShiftJis::encode(QStringLiteral("□□□□□□□□□□□□□□□□"))};
        c.identification = "AB-12345";
        c.version = "QUVO-Vexa ver1.23";
        c.status = 1;
        c.salesTotal = 123456;
        return c;
    }

    static int indexOf(char c) { return QByteArray("0123456789ABCDEF").indexOf(c); }

    QByteArray answer(const QByteArray &c)
    {
        auto ok = [](const QByteArray &p = QByteArray()) { return FakePort::ok(p); };
        if (c == "QV")
            return ok();
        if (c == "QVV")
            return ok(version);
        if (c == "QVQ")
            return ok(ValueFormats::hexDigits(std::uint32_t(status), 2));
        if (c.startsWith("QVRP") && c.size() == 5)
            return ok(ValueFormats::hexDigits(std::uint32_t(price[std::size_t(indexOf(c[4]))]), 4));
        if (c.startsWith("QVRC") && c.size() == 5)
            return ok(ValueFormats::hexDigits(std::uint32_t(count[std::size_t(indexOf(c[4]))]), 4));
        if (c.startsWith("QVRO") && c.size() == 5 && c[4] >= '1' && c[4] <= '6')
            return ok(ValueFormats::hexDigits(std::uint32_t(option[std::size_t(c[4] - '1')]), 2));
        if (c.startsWith("QVRO") && c.size() == 5 && c[4] >= 'A' && c[4] <= 'C')
            return ok(line[std::size_t(c[4] - 'A')]);
        if (c == "QVRON")
            return ok(identification);
        if (c == "QVREA")
            return ok(ValueFormats::hexDigits(salesTotal, 8));
        if (c == "QVREC" || c == "QVC")
            return ok(c == "QVC" ? QByteArray(19, '0') : QByteArray("0000"));
        if (c.startsWith("QVSP") && c.size() == 10 && c[5] == '=') {
            price[std::size_t(c[4] - '0')] = ValueFormats::hexValue(c.mid(6));
            return ok("0000");
        }
        if (c.startsWith("QVSO") && c.size() >= 6 && c[5] == '=') {
            const QByteArray v = c.mid(6);
            if (c[4] >= '1' && c[4] <= '6')
                option[std::size_t(c[4] - '1')] = ValueFormats::hexValue(v);
            else if (c[4] >= 'A' && c[4] <= 'C')
                line[std::size_t(c[4] - 'A')] = v;
            else if (c[4] == 'N')
                identification = v;
            return ok("00");
        }
        if (c == "QVZ0") {
            count.fill(0);
            cleared = true;
            return ok("000");
        }
        return ok("00");
    }

    static void attach(const std::shared_ptr<FakeController> &model, FakePort::State &port)
    {
        port.fallback = [model](const QByteArray &c) { return model->answer(c); };
    }
};
