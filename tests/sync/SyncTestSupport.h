#pragma once

#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tw::test {

// Sets the default locale for a test and restores it after.
class ScopedLocale {
public:
    explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(saved_); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    QLocale saved_;
};

// Reads a QR code back from its picture.
inline QString decodeQr(const QImage& image) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("code.png"));
    if (!image.save(file)) return {};
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               {QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sbinary"), file});
    if (!zbar.waitForFinished(20000)) return {};
    QByteArray out = zbar.readAllStandardOutput();
    if (out.endsWith('\n')) out.chop(1);  // zbarimg ends the text with a line
    return QString::fromUtf8(out);
}

}  // namespace tw::test
