#pragma once

#include <QByteArray>
#include <QCborValue>
#include <optional>

namespace tw::json {

// A strict JSON reader and writer over QCborValue that keeps integers and doubles apart by their
// written form: "3" reads as an integer, "3.0" or "3e0" as a double, and a double is always
// written with a fraction or an exponent. Objects become maps with string keys. Nesting deeper
// than 256 levels is refused.
std::optional<QCborValue> parse(const QByteArray& text);
QByteArray write(const QCborValue& value);

}  // namespace tw::json
