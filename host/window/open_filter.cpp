#include "host/window/open_filter.h"

namespace fogbell::window {

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromUtf8(filter).split('|');
    QStringList filters;
    // Pairs of description and patterns; a trailing "|" leaves one empty part over.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
        }
        if (patterns.isEmpty()) {
            continue;
        }
        // Qt takes the patterns from the last parentheses of a filter, separated by spaces;
        // the description's own list ("(*.AIX;*.AFS)") becomes that list.
        const qsizetype open = description.lastIndexOf('(');
        if (open >= 0) {
            description.truncate(open);
        }
        filters << description.trimmed() + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

}  // namespace fogbell::window
