#include "host/window/dialog_template.h"

#include <algorithm>
#include <cmath>

namespace fogbell::window {
namespace {

constexpr std::uint32_t kLightGrey = 0xC0C0C0;  // the usual transparent colour of the bitmaps
constexpr std::uint32_t kRed15 = 0x00000F;      // button 1002's bitmap
constexpr std::uint32_t kBlack = 0x000000;      // button 1006's bitmap

// Average character width and height, in pixels, of the template's font at 96 dots per inch.
constexpr double kBaseUnitX = 6.0;
constexpr double kBaseUnitY = 13.0;

using K = ControlKind;

// Left: the framed list with the path and the filter above it and the count below. Right: the banner, the
// image buttons, the two check boxes and Exit. Across the bottom: playback, the two work bars,
// the save directory, the three links and the status line.
constexpr ControlTemplate kControls[] = {
    {kIdListGroup, K::kGroupBox, QRect(5, 3, 226, 130), "List Tracks:", "", 0, 0, false, true},
    {kIdFileNameBox, K::kReadOnlyEdit, QRect(10, 13, 216, 12), "", "", 0, 0, false, true},
    {kIdFilter, K::kFilter, QRect(10, 27, 216, 12), "", "", 0, 0, false, true},
    {kIdTrackList, K::kTrackList, QRect(10, 41, 216, 75), "", "", 0, 0, false, true},
    {kIdCountLabel, K::kLabel, QRect(10, 119, 110, 9), "Count files: 0", "", 0, 0, false, true},
    {kIdPicture, K::kPicture, QRect(236, 6, 74, 28), "", "", 0, 0, false, true},
    {kIdOpenContainer, K::kBitmapButton, QRect(236, 38, 17, 15), "",
     "Open (*.aix;*.afs;*.pac,*.mvx) files.", 130, kRed15, false, true},
    {kIdOpenAudioFile, K::kBitmapButton, QRect(255, 38, 17, 15), "",
     "Open (*.adx;*.wav;*.xmd) files.", 138, kLightGrey, false, true},
    {kIdPreviousDirectory, K::kBitmapButton, QRect(274, 38, 17, 15), "", "Previous directory", 131,
     kLightGrey, false, false},
    {kIdAbout, K::kBitmapButton, QRect(293, 38, 17, 15), "", "About program.", 129, kBlack, false,
     true},
    {kIdPlay, K::kBitmapButton, QRect(236, 55, 17, 15), "", "Play.", 133, kLightGrey, false, false},
    {kIdStop, K::kBitmapButton, QRect(255, 55, 17, 15), "", "Stop.", 134, kLightGrey, false, false},
    {kIdUpList, K::kBitmapButton, QRect(274, 55, 17, 15), "", "Up list", 136, kLightGrey, false,
     false},
    {kIdDownList, K::kBitmapButton, QRect(293, 55, 17, 15), "", "Down list.", 137, kLightGrey,
     false, false},
    {kIdSelectAll, K::kBitmapButton, QRect(236, 72, 17, 15), "", "Select all files.", 135,
     kLightGrey, false, true},
    {kIdContextMenu, K::kTextButton, QRect(255, 72, 55, 15), "Context menu",
     "Context menu\nAccess on Right click button.", 0, 0, false, true},
    {kIdLoopSound, K::kCheckBox, QRect(236, 92, 74, 12), "Loop sound", "", 0, 0, true, true},
    {kIdAlwaysOnTop, K::kCheckBox, QRect(236, 106, 74, 12), "Always on the top",
     "Always on the top.", 0, 0, true, true},
    {kIdExit, K::kTextButton, QRect(236, 120, 74, 12), "Exit", "Close application.", 0, 0, true,
     true},
    {kIdVolume, K::kVolumeSlider, QRect(5, 137, 70, 12), "", "", 0, 0, false, true},
    {kIdPlayProgress, K::kProgress, QRect(78, 137, 232, 12), "Play file..", "", 0, 0, false, true},
    {kIdSaveProgress, K::kProgress, QRect(5, 151, 150, 12), "Save file..", "", 0, 0, false, true},
    {kIdExtractProgress, K::kProgress, QRect(160, 151, 150, 12), "Extract file..", "", 0, 0, false,
     true},
    {kIdSaveDirectoryBox, K::kEdit, QRect(5, 165, 221, 12), "", "", 0, 0, false, true},
    {kIdChooseSaveDirectory, K::kTextButton, QRect(231, 165, 79, 12), "Directory for save",
     "Select directory for save.", 0, 0, true, true},
    {kIdBugReports, K::kLink, QRect(5, 180, 60, 10), "Bug reports", "", 0, 0, false, true},
    {kIdSiteLink, K::kLink, QRect(70, 180, 110, 10), "----- Mistvale's -----", "", 0, 0, false,
     true},
    {kIdForumLink, K::kLink, QRect(185, 180, 125, 10), "----- Mistvale's forum -----", "", 0, 0,
     false, true},
    {kIdStatus, K::kStatusLine, QRect(5, 194, 305, 13), "Status", "", 0, 0, false, true},
};

}  // namespace

std::span<const ControlTemplate> MainTemplate() {
    return kControls;
}

const ControlTemplate* FindControl(int id) {
    const auto controls = MainTemplate();
    const auto it = std::find_if(controls.begin(), controls.end(),
                                 [id](const ControlTemplate& c) { return c.id == id; });
    return it == controls.end() ? nullptr : &*it;
}

QRect DialogUnitsToPixels(const QRect& units) {
    const auto x = [](int u) { return static_cast<int>(std::lround(u * kBaseUnitX / 4.0)); };
    const auto y = [](int u) { return static_cast<int>(std::lround(u * kBaseUnitY / 8.0)); };
    const int left = x(units.left());
    const int top = y(units.top());
    return QRect(left, top, x(units.left() + units.width()) - left,
                 y(units.top() + units.height()) - top);
}

QSize DialogUnitsToPixels(const QSize& units) {
    return DialogUnitsToPixels(QRect(QPoint(0, 0), units)).size();
}

std::uint32_t RgbOfColorRef(std::uint32_t colorRef) {
    const std::uint32_t red = colorRef & 0xFF;
    const std::uint32_t green = (colorRef >> 8) & 0xFF;
    const std::uint32_t blue = (colorRef >> 16) & 0xFF;
    return (red << 16) | (green << 8) | blue;
}

}  // namespace fogbell::window
