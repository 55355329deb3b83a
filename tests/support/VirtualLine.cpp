#include "tests/support/VirtualLine.h"

#include <algorithm>

class VirtualLine::Reader : public LineReading::Line {
public:
    Reader(VirtualLine &l, QList<int> *tags) : l_(l), tags_(tags) {}
    qint64 nowMs() const override { return l_.nowMs(); }
    QByteArray take(int maxBytes) override
    {
        QByteArray got;
        while (got.size() < maxBytes && !l_.queue_.empty() && l_.queue_.front().atUs <= l_.nowUs_) {
            got.append(l_.queue_.front().value);
            if (tags_)
                tags_->append(l_.queue_.front().tag);
            l_.queue_.pop_front();
        }
        return got;
    }
    bool waitForBytes(int ms) override
    {
        const qint64 until = l_.nowUs_ + qint64(std::max(ms, 0)) * 1000;
        if (!l_.queue_.empty() && l_.queue_.front().atUs <= until) {
            l_.nowUs_ = std::max(l_.nowUs_, l_.queue_.front().atUs);
            return true;
        }
        l_.nowUs_ = until;
        return false;
    }
    bool gone() override { return false; }
    void discardWaiting() override { take(1 << 30); }

private:
    VirtualLine &l_;
    QList<int> *tags_;
};

void VirtualLine::send(const QByteArray &bytes, qint64 startUs, int tag, const std::function<qint64(int)> &gapUs)
{
    qint64 at = std::max(startUs, queue_.empty() ? startUs : queue_.back().atUs);
    for (int i = 0; i < bytes.size(); ++i) {
        at += ByteUs + (gapUs ? std::max<qint64>(0, gapUs(i)) : 0);
        queue_.push_back({at, bytes.at(i), tag});
    }
}

int VirtualLine::drain(int quietMs, int listenMs, int boundMs)
{
    Reader r(*this, nullptr);
    return LineReading::drain(r, quietMs, listenMs, boundMs);
}

void VirtualLine::write(const QByteArray &bytes)
{
    // The controller has the command once its last byte has crossed the line.
    if (controller_)
        controller_(*this, bytes, nowUs_ + bytes.size() * ByteUs);
}

PortRead VirtualLine::read(int maxBytes, int timeoutMs, int quietMs, int confirmMs)
{
    readTags_.clear();
    Reader r(*this, &readTags_);
    return LineReading::read(r, maxBytes, timeoutMs, quietMs, confirmMs);
}
