#include "support/Json.h"

#include <QCborArray>
#include <QCborMap>
#include <QString>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tw::json {

namespace {

constexpr int kMaxDepth = 256;

class Reader {
public:
    explicit Reader(const QByteArray& text) : p_(text.constData()), end_(p_ + text.size()) {}

    std::optional<QCborValue> document() {
        skipSpace();
        auto v = value(0);
        if (!v) return std::nullopt;
        skipSpace();
        if (p_ != end_) return std::nullopt;
        return v;
    }

private:
    const char* p_;
    const char* end_;

    void skipSpace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }

    bool literal(const char* word) {
        const size_t n = std::strlen(word);
        if (size_t(end_ - p_) < n || std::memcmp(p_, word, n) != 0) return false;
        p_ += n;
        return true;
    }

    std::optional<QCborValue> value(int depth) {
        if (depth > kMaxDepth || p_ >= end_) return std::nullopt;
        switch (*p_) {
            case '{':
                return object(depth + 1);
            case '[':
                return array(depth + 1);
            case '"': {
                auto s = string();
                if (!s) return std::nullopt;
                return QCborValue(*s);
            }
            case 't':
                if (literal("true")) return QCborValue(true);
                return std::nullopt;
            case 'f':
                if (literal("false")) return QCborValue(false);
                return std::nullopt;
            case 'n':
                if (literal("null")) return QCborValue(QCborValue::Null);
                return std::nullopt;
            default:
                return number();
        }
    }

    std::optional<QCborValue> object(int depth) {
        ++p_;  // '{'
        QCborMap map;
        skipSpace();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            return QCborValue(map);
        }
        while (true) {
            skipSpace();
            if (p_ >= end_ || *p_ != '"') return std::nullopt;
            auto key = string();
            if (!key) return std::nullopt;
            skipSpace();
            if (p_ >= end_ || *p_ != ':') return std::nullopt;
            ++p_;
            skipSpace();
            auto v = value(depth);
            if (!v) return std::nullopt;
            map.insert(*key, *v);
            skipSpace();
            if (p_ >= end_) return std::nullopt;
            if (*p_ == ',') {
                ++p_;
                continue;
            }
            if (*p_ == '}') {
                ++p_;
                return QCborValue(map);
            }
            return std::nullopt;
        }
    }

    std::optional<QCborValue> array(int depth) {
        ++p_;  // '['
        QCborArray list;
        skipSpace();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            return QCborValue(list);
        }
        while (true) {
            skipSpace();
            auto v = value(depth);
            if (!v) return std::nullopt;
            list.append(*v);
            skipSpace();
            if (p_ >= end_) return std::nullopt;
            if (*p_ == ',') {
                ++p_;
                continue;
            }
            if (*p_ == ']') {
                ++p_;
                return QCborValue(list);
            }
            return std::nullopt;
        }
    }

    static int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    std::optional<char16_t> hex4() {
        if (end_ - p_ < 4) return std::nullopt;
        int v = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = hexDigit(p_[i]);
            if (d < 0) return std::nullopt;
            v = v * 16 + d;
        }
        p_ += 4;
        return char16_t(v);
    }

    std::optional<QString> string() {
        ++p_;  // '"'
        QByteArray utf8;
        QString out;
        auto flush = [&] {
            if (!utf8.isEmpty()) {
                out += QString::fromUtf8(utf8);
                utf8.clear();
            }
        };
        while (p_ < end_) {
            const char c = *p_++;
            if (c == '"') {
                flush();
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                utf8.append(c);
                continue;
            }
            if (p_ >= end_) return std::nullopt;
            const char e = *p_++;
            switch (e) {
                case '"':
                    utf8.append('"');
                    break;
                case '\\':
                    utf8.append('\\');
                    break;
                case '/':
                    utf8.append('/');
                    break;
                case 'b':
                    utf8.append('\b');
                    break;
                case 'f':
                    utf8.append('\f');
                    break;
                case 'n':
                    utf8.append('\n');
                    break;
                case 'r':
                    utf8.append('\r');
                    break;
                case 't':
                    utf8.append('\t');
                    break;
                case 'u': {
                    auto u = hex4();
                    if (!u) return std::nullopt;
                    flush();
                    out += QChar(*u);
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<QCborValue> number() {
        const char* start = p_;
        bool isInteger = true;
        if (p_ < end_ && *p_ == '-') ++p_;
        if (p_ >= end_) return std::nullopt;
        if (*p_ == '0') {
            ++p_;
        } else if (*p_ >= '1' && *p_ <= '9') {
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
        } else {
            return std::nullopt;
        }
        if (p_ < end_ && *p_ == '.') {
            isInteger = false;
            ++p_;
            const char* digits = p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            if (p_ == digits) return std::nullopt;
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            isInteger = false;
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            const char* digits = p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            if (p_ == digits) return std::nullopt;
        }
        if (isInteger) {
            qint64 v = 0;
            const auto [ptr, ec] = std::from_chars(start, p_, v);
            if (ec == std::errc() && ptr == p_) return QCborValue(v);
            // Integers beyond 64 bits are kept as the nearest double.
        }
        const QByteArray text(start, int(p_ - start));
        bool ok = false;
        const double d = text.toDouble(&ok);
        if (!ok && !std::isinf(d)) return std::nullopt;
        return QCborValue(d);
    }
};

void appendEscape(QByteArray& out, char16_t c) {
    static const char hex[] = "0123456789abcdef";
    const char esc[] = {
        '\\', 'u', hex[(c >> 12) & 15], hex[(c >> 8) & 15], hex[(c >> 4) & 15], hex[c & 15]};
    out.append(esc, 6);
}

void writeString(QByteArray& out, const QString& s) {
    out.append('"');
    for (const QChar ch : s) {
        const char16_t c = ch.unicode();
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            case '\b':
                out.append("\\b");
                break;
            case '\f':
                out.append("\\f");
                break;
            default:
                if (c < 0x20) {
                    appendEscape(out, c);
                } else if (c < 0x80) {
                    out.append(char(c));
                } else if (ch.isSurrogate()) {
                    // Written as escapes so that an unpaired half survives the round trip.
                    appendEscape(out, c);
                } else {
                    out.append(QString(ch).toUtf8());
                }
        }
    }
    out.append('"');
}

void writeDouble(QByteArray& out, double d) {
    if (!std::isfinite(d)) {
        // JSON has no such numbers; null keeps the file readable.
        out.append("null");
        return;
    }
    char buf[64];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
    QByteArray text(buf, int(ptr - buf));
    if (!text.contains('.') && !text.contains('e') && !text.contains('E')) text.append(".0");
    out.append(text);
}

void writeValue(QByteArray& out, const QCborValue& v) {
    switch (v.type()) {
        case QCborValue::Integer:
            out.append(QByteArray::number(v.toInteger()));
            break;
        case QCborValue::Double:
            writeDouble(out, v.toDouble());
            break;
        case QCborValue::True:
            out.append("true");
            break;
        case QCborValue::False:
            out.append("false");
            break;
        case QCborValue::String:
            writeString(out, v.toString());
            break;
        case QCborValue::Array: {
            out.append('[');
            bool first = true;
            for (const QCborValue& e : v.toArray()) {
                if (!first) out.append(',');
                first = false;
                writeValue(out, e);
            }
            out.append(']');
            break;
        }
        case QCborValue::Map: {
            out.append('{');
            bool first = true;
            const QCborMap map = v.toMap();
            for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
                if (!first) out.append(',');
                first = false;
                writeString(out, it.key().toString());
                out.append(':');
                writeValue(out, it.value());
            }
            out.append('}');
            break;
        }
        default:
            out.append("null");
    }
}

}  // namespace

std::optional<QCborValue> parse(const QByteArray& text) {
    return Reader(text).document();
}

QByteArray write(const QCborValue& value) {
    QByteArray out;
    writeValue(out, value);
    return out;
}

}  // namespace tw::json
