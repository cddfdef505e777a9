// The main window's dialog template (102): every control with its id, kind, text, tooltip and
// place. Places are dialog units of the template's 8-point font, as a dialog editor gives them;
// the window turns them into pixels once and leaves scaling for the screen to Qt.
#pragma once

#include <QRect>
#include <QSize>
#include <array>
#include <cstdint>
#include <span>

namespace fogbell::window {

// Control ids of template 102 (the core's ButtonId, ProgressId and CheckId name the same ids).
enum ControlId : int {
    kIdOk = 1,    // the dialog's OK command (Enter); no control of its own
    kIdExit = 2,  // also the dialog's cancel command (Escape, the close box)
    kIdTrackList = 1000,
    kIdFileNameBox = 1001,
    kIdOpenContainer = 1002,
    kIdCountLabel = 1003,
    kIdPreviousDirectory = 1004,
    kIdStatus = 1005,
    kIdAbout = 1006,
    kIdAlwaysOnTop = 1007,
    kIdSelectAll = 1008,
    kIdPlay = 1009,
    kIdStop = 1010,
    kIdVolume = 1011,
    kIdPlayProgress = 1012,
    kIdLoopSound = 1013,
    kIdContextMenu = 1014,
    kIdSaveDirectoryBox = 1015,
    kIdChooseSaveDirectory = 1016,
    kIdUpList = 1017,
    kIdSaveProgress = 1018,
    kIdExtractProgress = 1019,
    kIdBugReports = 1020,
    kIdPicture = 1021,
    kIdSiteLink = 1022,
    kIdForumLink = 1023,
    kIdDownList = 1024,
    kIdOpenAudioFile = 1025,
    kIdFilter = 1026,  // the filter field above the list
    kIdListGroup = -1,  // the group box has no id of its own
};

enum class ControlKind {
    kTrackList,
    kReadOnlyEdit,
    kFilter,
    kEdit,
    kBitmapButton,
    kTextButton,
    kCheckBox,
    kVolumeSlider,
    kProgress,
    kLabel,
    kStatusLine,
    kLink,
    kPicture,
    kGroupBox,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    QRect place;                // dialog units
    const char* text;           // caption, initial text, or "" for none
    const char* tooltip;        // "" for none
    int bitmap;                 // bitmap resource of an image button, else 0
    std::uint32_t transparent;  // its transparent colour as COLORREF 0x00BBGGRR
    bool flat;
    bool initiallyEnabled;
};

// Template 102: 315 x 213 dialog units.
inline constexpr QSize kDialogUnits(315, 213);

// Controls in creation (tab) order.
std::span<const ControlTemplate> MainTemplate();
const ControlTemplate* FindControl(int id);

// Dialog units to pixels at 96 dots per inch for the template's 8-point font: a horizontal
// unit is a quarter of the font's average character width (6 px), a vertical unit an eighth of
// its height (13 px).
QRect DialogUnitsToPixels(const QRect& units);
QSize DialogUnitsToPixels(const QSize& units);

// A COLORREF (0x00BBGGRR), such as a bitmap's transparent colour, as a QRgb (0x00RRGGBB).
std::uint32_t RgbOfColorRef(std::uint32_t colorRef);

}  // namespace fogbell::window
