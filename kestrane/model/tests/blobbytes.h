// Builds expected blob bytes by hand: big-endian integers, IEEE doubles,
// UTF-16BE strings with a byte count. Independent of QDataStream.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstring>

class Bytes {
public:
    Bytes& u32(uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b_.append(char((v >> s) & 0xFF));
        return *this;
    }
    Bytes& i32(int32_t v) { return u32(uint32_t(v)); }
    Bytes& i64(int64_t v) {
        u32(uint32_t(uint64_t(v) >> 32));
        return u32(uint32_t(uint64_t(v)));
    }
    Bytes& f64(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        return i64(int64_t(bits));
    }
    Bytes& i8(int v) {
        b_.append(char(v));
        return *this;
    }
    Bytes& boolean(bool v) { return i8(v ? 1 : 0); }
    Bytes& str(const QString& s) {
        if (s.isNull()) return u32(0xFFFFFFFFu);
        u32(uint32_t(s.size() * 2));
        for (QChar c : s) {
            b_.append(char(c.unicode() >> 8));
            b_.append(char(c.unicode() & 0xFF));
        }
        return *this;
    }
    Bytes& raw(const QByteArray& a) {
        b_.append(a);
        return *this;
    }
    Bytes& bytes(const QByteArray& a) {
        u32(uint32_t(a.size()));
        return raw(a);
    }
    const QByteArray& data() const { return b_; }

private:
    QByteArray b_;
};
