#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "Commands.h"
#include "ShortcutFile.h"

namespace tw::shortcuts {

int signCommand(const QStringList& options) {
    // Options come in pairs, each at most once; the mode, if given, is "anyone" (anyone may
    // import the file), the only one there is.
    QString mode, input, output;
    for (qsizetype i = 0; i < options.size(); i += 2) {
        const QString& option = options[i];
        QString* value = option == QLatin1String("--mode")     ? &mode
                         : option == QLatin1String("--input")  ? &input
                         : option == QLatin1String("--output") ? &output
                                                               : nullptr;
        if (!value || i + 1 >= options.size() || !value->isNull()) return usage();
        *value = options[i + 1];
    }
    if (input.isEmpty() || output.isEmpty()) return usage();
    if (!mode.isNull() && mode != QLatin1String("anyone")) {
        say(QStringLiteral("the only signing mode is \u2018anyone\u2019, not %1.")
                .arg(quoted(mode)));
        return 2;
    }

    // The definition "NAME.sh" defines the shortcut NAME.
    const QFileInfo info(input);
    QFile definition(input);
    if (!info.isFile() || !definition.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("cannot read the definition %1.").arg(quoted(input)));
        return 1;
    }
    const Shortcut shortcut{info.completeBaseName(), definition.read(kMaxScriptBytes + 1)};
    if (!isShortcutName(shortcut.name)) {
        say(QStringLiteral("the definition %1 is not named after a shortcut.").arg(quoted(input)));
        return 1;
    }
    if (const QString problem = scriptProblem(shortcut.script); !problem.isEmpty()) {
        say(QStringLiteral("cannot sign the definition %1: %2.").arg(quoted(input), problem));
        return 1;
    }

    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(seal(shortcut)) < 0 || !file.commit()) {
        say(QStringLiteral("cannot write %1: %2.").arg(quoted(output), file.errorString()));
        return 1;
    }
    return 0;
}

}  // namespace tw::shortcuts
