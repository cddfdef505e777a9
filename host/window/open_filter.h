// The open-file dialogs' filter in the form Qt's file dialog reads.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace fogbell::window {

// Turns a filter of "description|patterns|" pairs (as the core builds it, patterns separated by
// ";") into Qt's name filters: "Support Files (*.AIX *.AFS)", "Audio files (*.AIX)", ...
// An empty filter gives no name filter (every file is shown).
QStringList QtNameFilters(const std::string& filter);

}  // namespace fogbell::window
