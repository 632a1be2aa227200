#pragma once

#include <QByteArray>
#include <QString>

namespace tw {

// Replaces `path` with `bytes` in one step (temporary file, flush, rename), creating missing
// parent folders. The file is readable by its owner only. Returns false on any failure, leaving
// the previous file in place.
bool writeFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace tw
