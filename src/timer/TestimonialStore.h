#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

#include "platform/Scheduler.h"
#include "support/Instant.h"

namespace tw {

// One sentence left through the completion card's invitation.
// JSON form {"text": string, "mayQuote": bool, "submittedAt": seconds since 2001-01-01 UTC}.
struct Testimonial {
    QString text;  // trimmed, never empty
    bool mayQuote = false;
    Instant submittedAt;
    friend bool operator==(const Testimonial&, const Testimonial&) = default;
};

// The testimonials collected on this computer, kept in "testimonials.json" in the data folder
// as one JSON array in submission order and rewritten whole on every addition.
class TestimonialStore : public QObject {
    Q_OBJECT
public:
    // Reads `filePath` (default: testimonials.json in the data folder). A missing or unreadable
    // file starts an empty list; an unreadable one is moved aside as
    // "<name>.corrupt-<timestamp>" before the first write replaces it, so nothing is lost.
    explicit TestimonialStore(Clock clock, QString filePath = defaultFilePath(),
                              QObject* parent = nullptr);

    static QString defaultFilePath();

    const QList<Testimonial>& entries() const { return entries_; }
    const QString& fileURL() const { return filePath_; }

    // Trims `text`; nothing happens when nothing is left. Otherwise appends the entry with the
    // current moment and writes the file. A failed write is ignored: the entry stays in memory.
    void add(const QString& text, bool mayQuote);

    // The stored form of a list, and the strict reading of it (any malformed entry rejects all).
    static QByteArray encode(const QList<Testimonial>& entries);
    static std::optional<QList<Testimonial>> decode(const QByteArray& bytes);

Q_SIGNALS:
    void entriesChanged();

private:
    Clock clock_;
    QString filePath_;
    QList<Testimonial> entries_;
    bool keepAsideBeforeWrite_ = false;
};

}  // namespace tw
