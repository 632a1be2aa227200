#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace tw {

// The base address of a web service the program talks to (the Tarnwhistle website, an ntfy
// server): accepted only when it is an https URL with a host, no user name, password, query or
// fragment, and a path that is empty or "/". Surrounding white space is ignored; anything else
// gives none.
std::optional<QUrl> parseServiceAddress(const QString& text);

}  // namespace tw
