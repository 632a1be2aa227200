#include "browserlink/Frames.h"

#include <cstring>

namespace tw::browserlink {

QByteArray frame(const QByteArray& message) {
    if (message.size() > static_cast<qsizetype>(kMaxMessageBytes)) return {};
    const quint32 length = static_cast<quint32>(message.size());
    QByteArray out(sizeof length, Qt::Uninitialized);
    std::memcpy(out.data(), &length, sizeof length);
    out.append(message);
    return out;
}

void FrameReader::append(const QByteArray& bytes) {
    if (broken_) return;
    // Drop what was consumed before it grows; the unfinished rest moves to the front.
    if (offset_ > 0 && offset_ >= buffer_.size() / 2) {
        buffer_.remove(0, offset_);
        offset_ = 0;
    }
    buffer_.append(bytes);
}

std::optional<QByteArray> FrameReader::next() {
    if (broken_) return std::nullopt;
    quint32 length = 0;
    if (pendingBytes() < static_cast<qsizetype>(sizeof length)) return std::nullopt;
    std::memcpy(&length, buffer_.constData() + offset_, sizeof length);
    if (length > kMaxMessageBytes) {
        broken_ = true;
        buffer_.clear();
        offset_ = 0;
        return std::nullopt;
    }
    if (pendingBytes() < static_cast<qsizetype>(sizeof length + length)) return std::nullopt;
    QByteArray message = buffer_.mid(offset_ + sizeof length, length);
    offset_ += sizeof length + length;
    if (offset_ == buffer_.size()) {
        buffer_.clear();
        offset_ = 0;
    }
    return message;
}

}  // namespace tw::browserlink
