#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace tw {

// Where the Tarnwhistle website is. A build names it in the installed file
// share/tarnwhistle/CloudConfiguration.json ({"WebsiteURL": "https://…"}), which whoever packages
// or administers the program may edit; a build without the file has no website.
namespace cloudconfig {

inline constexpr char kFileName[] = "CloudConfiguration.json";

// The website's base address if `text` is acceptable: an https URL with a host, without user,
// password, query or fragment, whose path is empty or "/".
std::optional<QUrl> websiteURL(const QString& text);

// The address in the configuration file at `path`; none when the file is missing, unreadable,
// not a JSON object, lacks a text "WebsiteURL" or holds an address that is not acceptable.
std::optional<QUrl> load(const QString& path);

// The configuration file of this installation, in the resources folder beside the program.
QString installedFile();

}  // namespace cloudconfig

}  // namespace tw
