// The layout of Form1 in twips, as the window was designed: the frames of the three steps,
// the controls of steps 1 and 2, the seven rows of step 3 and what stands below the frames.
// Form1 builds its controls from these tables; nothing else positions a control.
#pragma once

#include <array>
#include <string_view>

#include "app/italian_texts.h"
#include "archives/window_interface.h"
#include "import/italian_texts.h"

namespace app::layout {

inline constexpr int kClientWidth = 6675;
inline constexpr int kClientHeight = 7665;
inline constexpr int kBackgroundGrey = 224;  // red, green and blue alike

struct Box {
  int left, top, width, height;
};

struct Frame {
  std::string_view name;
  std::u16string_view caption;
  Box box;
};

inline constexpr Frame kStep1Frame{"Frame2", kStep1Caption, {120, 120, 6495, 1095}};
inline constexpr Frame kStep2Frame{"Frame1", kStep2Caption, {120, 1440, 6495, 975}};
inline constexpr Frame kStep3Frame{"Frame3", kStep3Caption, {120, 2640, 6495, 3135}};

// Step 1 (inside Frame2).
inline constexpr Box kToolbar1{120, 360, 1200, 600};
inline constexpr Box kText1{1560, 660, 4815, 285};

// Step 2 (inside Frame1).
inline constexpr Box kLabel6{120, 480, 3975, 255};
inline constexpr Box kCombo2{4200, 360, 2175, 315};

// Below the frames (inside the window).
inline constexpr Box kLabel11{120, 6120, 1590, 195};
inline constexpr Box kProgressBar1{120, 6360, 6495, 255};
inline constexpr Box kToolbar4{4080, 6840, 2520, 600};

// Step 3 (inside Frame3): one row per mapping slot, top to bottom. The article code (picker 1)
// comes first on screen, and the label indexes are those the window always had.
inline constexpr int kRoleLabelLeft = 120;
inline constexpr int kPickerLeft = 1920;
inline constexpr int kPickerWidth = 2295;
inline constexpr int kPickerHeight = 315;
inline constexpr int kNoteLeft = 4320;
inline constexpr int kOneLineLabelHeight = 195;

struct MappingRow {
  int role_label_index;
  std::u16string_view role_caption;
  int role_top, role_width;
  int picker;
  int picker_top;
  int note_index;
  std::u16string_view note_caption;
  int note_top, note_width;
};

inline constexpr std::array<MappingRow, archives::kPickerCount> kMappingRows{{
    {1, import::kPickerCaptions[1], 360, 1050, 1, 240, 22, kRequired, 360, 1440},
    {0, import::kPickerCaptions[0], 780, 1125, 0, 660, 23, kOptional, 720, 1755},
    {2, import::kPickerCaptions[2], 1200, 825, 2, 1080, 24, kOptional, 1080, 1755},
    {3, import::kPickerCaptions[3], 1560, 1485, 3, 1440, 27, kOptional, 1440, 1755},
    {4, import::kPickerCaptions[4], 1920, 480, 4, 1800, 26, kOptional, 1800, 1755},
    {6, import::kPickerCaptions[5], 2280, 615, 5, 2160, 25, kOptional, 2160, 1755},
    {7, import::kPickerCaptions[6], 2640, 1335, 6, 2520, 29, kOptional, 2520, 1755},
}};

// Toolbar buttons: key (equal to the caption), picture in the image list, size in twips.
struct ToolbarButton {
  std::u16string_view key;
  int picture;
  int width, height;
};

inline constexpr std::array<ToolbarButton, 1> kToolbar1Buttons{{{kBrowseKey, 7, 1125, 570}}};
inline constexpr std::array<ToolbarButton, 2> kToolbar4Buttons{{{import::kImportKey, 1, 1215, 570}, {import::kCloseKey, 4, 1215, 570}}};

}  // namespace app::layout
