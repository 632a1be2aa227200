#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace tw {

// Where TickTick's open API is. The one address the program uses is kDefaultAPIURL, unless the
// installation's share/tarnwhistle/TickTickConfiguration.json ({"APIURL": "https://…"}) names
// another one (an administrator's proxy, or a stand-in when trying the program by hand).
namespace ticktickconfig {

inline constexpr char kDefaultAPIURL[] = "https://api.ticktick.com/open/v1";
inline constexpr char kFileName[] = "TickTickConfiguration.json";

// `text` as an API base if it is acceptable: an https URL with a host, without user, password,
// query or fragment.
std::optional<QUrl> apiURL(const QString& text);

// The address in the file at `path`, or kDefaultAPIURL when the file is missing or does not hold
// an acceptable "APIURL".
QUrl load(const QString& path);

// The configuration file of this installation, in the resources folder beside the program.
QString installedFile();

}  // namespace ticktickconfig

}  // namespace tw
