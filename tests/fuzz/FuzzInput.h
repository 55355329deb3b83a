#pragma once
// The fuzzer's bytes read as the choices a target makes, front to back, so
// that a seed can be written by hand: a number in a range takes as many
// bytes as the range needs (big-endian, missing bytes read as zero), a flag
// one byte, a text its bytes.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    size_t remaining() const { return size_ - pos_; }

    template<typename T>
    T inRange(T min, T max)
    {
        const auto range = static_cast<unsigned long long>(max) - static_cast<unsigned long long>(min);
        unsigned long long v = 0;
        for (unsigned long long r = range; r > 0; r >>= 8)
            v = (v << 8) | next();
        if (range != ~0ULL)
            v %= range + 1;
        return static_cast<T>(static_cast<unsigned long long>(min) + v);
    }
    bool flag() { return next() & 1; }
    uint8_t byte() { return next(); }
    uint16_t unit() { return uint16_t((next() << 8) | next()); }
    // Up to `n` bytes, fewer when the input ends.
    QByteArray bytes(size_t n)
    {
        n = n < remaining() ? n : remaining();
        const QByteArray out(reinterpret_cast<const char *>(data_ + pos_), int(n));
        pos_ += n;
        return out;
    }
    // A length from 0 to `max`, then that many bytes.
    QByteArray someBytes(size_t max) { return bytes(inRange<size_t>(0, max)); }
    QByteArray rest() { return bytes(remaining()); }

private:
    uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }

    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};
