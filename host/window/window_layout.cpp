#include "host/window/window_layout.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdint>

#include "host/app/ini_file.h"

namespace fogbell::window {
namespace {

constexpr const char* kSection = "General";
constexpr int kColumnCount = 4;
constexpr int kWidestColumn = 4000;  // pixels; beyond it a stored width is not believed
constexpr int kFarthest = 100000;    // pixels; a place beyond it is not believed

// The numbers of a comma-separated value, when there are exactly count of them.
std::optional<std::vector<int>> Numbers(const std::string& text, int count) {
    const QStringList parts = QString::fromStdString(text).split(',');
    if (parts.size() != count) {
        return std::nullopt;
    }
    std::vector<int> numbers;
    for (const QString& part : parts) {
        bool ok = false;
        const int number = part.trimmed().toInt(&ok);
        if (!ok || number < -kFarthest || number > kFarthest) {
            return std::nullopt;
        }
        numbers.push_back(number);
    }
    return numbers;
}

}  // namespace

std::vector<int> ShareWidth(const std::vector<int>& widths, int delta) {
    std::int64_t total = 0;
    for (int width : widths) {
        total += std::max(width, 0);
    }
    std::vector<int> shared = widths;
    if (total <= 0 || shared.empty()) {
        return shared;
    }
    std::int64_t given = 0;
    for (std::size_t i = 1; i < shared.size(); ++i) {
        const auto share = static_cast<int>(std::int64_t{delta} * std::max(widths[i], 0) / total);
        shared[i] = std::max(widths[i] + share, kNarrowestColumn);
        given += shared[i] - widths[i];
    }
    shared[0] = std::max(static_cast<int>(widths[0] + delta - given), kNarrowestColumn);
    return shared;
}

unsigned AnchorsOf(int controlId) {
    switch (controlId) {
        case kIdListGroup:
        case kIdTrackList:
            return kGrowX | kGrowY;
        case kIdFileNameBox:
        case kIdFilter:
            return kGrowX;
        case kIdCountLabel:
            return kMoveY;
        case kIdVolume:
        case kIdSaveProgress:
        case kIdBugReports:
        case kIdSiteLink:
            return kMoveY;
        case kIdPlayProgress:
        case kIdExtractProgress:
        case kIdSaveDirectoryBox:
        case kIdForumLink:
        case kIdStatus:
            return kMoveY | kGrowX;
        case kIdChooseSaveDirectory:
            return kMoveX | kMoveY;
        default:
            return kMoveX;  // the picture, the buttons and check boxes right of the list
    }
}

QRect Anchored(const QRect& place, unsigned anchors, int dx, int dy) {
    QRect moved = place;
    moved.translate((anchors & kMoveX) != 0 ? dx : 0, (anchors & kMoveY) != 0 ? dy : 0);
    moved.setWidth(place.width() + ((anchors & kGrowX) != 0 ? dx : 0));
    moved.setHeight(place.height() + ((anchors & kGrowY) != 0 ? dy : 0));
    return moved;
}

WindowPlacement LoadPlacement(const std::string& settingsFile, QSize minimum) {
    IniFile ini;
    ini.Load(settingsFile);
    WindowPlacement placement;
    if (const auto frame = Numbers(ini.Get(kSection, kKeyWindow), 4)) {
        const auto& f = *frame;
        placement.frame = QRect(f[0], f[1], std::max(f[2], minimum.width()),
                                std::max(f[3], minimum.height()));
    }
    if (const auto widths = Numbers(ini.Get(kSection, kKeyColumns), kColumnCount)) {
        const bool sensible = std::all_of(widths->begin(), widths->end(),
                                          [](int w) { return w > 0 && w <= kWidestColumn; });
        if (sensible) {
            placement.columnWidths = *widths;
        }
    }
    return placement;
}

void SavePlacement(const std::string& settingsFile, const WindowPlacement& placement) {
    IniFile ini;
    ini.Load(settingsFile);  // the core's keys and anything else stay
    if (placement.frame) {
        const QRect& f = *placement.frame;
        ini.Set(kSection, kKeyWindow,
                QString("%1,%2,%3,%4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height())
                    .toStdString());
    }
    QStringList widths;
    for (int width : placement.columnWidths) {
        widths << QString::number(width);
    }
    if (!widths.isEmpty()) {
        ini.Set(kSection, kKeyColumns, widths.join(',').toStdString());
    }
    ini.Save(settingsFile);
}

}  // namespace fogbell::window
