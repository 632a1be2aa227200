#pragma once

// Messages as the browser's native messaging frames them: a 32-bit length in the machine's byte
// order, then that many bytes of UTF-8 JSON. The host and the program frame their own socket the
// same way.

#include <QByteArray>
#include <QList>
#include <optional>

namespace tw::browserlink {

// The largest message either side accepts. The browser sends at most 1 MiB to a host, and nothing
// that travels here comes near it (the longest part is one address).
inline constexpr quint32 kMaxMessageBytes = 1024 * 1024;

// The frame of one message; empty when the message is longer than kMaxMessageBytes.
QByteArray frame(const QByteArray& message);

// Cuts a byte stream into messages. A length over kMaxMessageBytes breaks the stream for good:
// nothing after it can be trusted to start a frame.
class FrameReader {
public:
    // Adds bytes read from the stream.
    void append(const QByteArray& bytes);
    // The next whole message, if one has arrived.
    std::optional<QByteArray> next();
    bool broken() const { return broken_; }
    // Bytes of an unfinished message waiting for the rest.
    qsizetype pendingBytes() const { return buffer_.size() - offset_; }

private:
    QByteArray buffer_;
    qsizetype offset_ = 0;
    bool broken_ = false;
};

}  // namespace tw::browserlink
