// The geometry of the main window's two dialogs, the progress dialog and "Select Font", with no
// toolkit: both views place their dialogs' controls from here.
#pragma once

#include "app/core/ControlTable.h"

namespace prax::app {

// The progress dialog: borderless, centred on the screen, not rescaled for the screen's DPI.
namespace progress {
inline constexpr const char* kCaption = "Progress";
inline constexpr int kClientWidth = 670;
inline constexpr int kClientHeight = 75;
inline constexpr Rect kPanel1 = {0, 0, 670, 75};
inline constexpr Rect kGauge = {2, 2, 662, 67};
inline constexpr int kFontPixels = 12;
}  // namespace progress

// The "Select Font" dialog, laid out for 120 DPI; its control geometry is applied in pixels on
// every activation.
namespace fontdialog {
inline constexpr const char* kCaption = "Select Font";
inline constexpr int kOuterWidth = 659;
inline constexpr int kOuterHeight = 414;
inline constexpr const char* kFace = "MS Sans Serif";
inline constexpr int kFontPixels = 13;
inline constexpr Rect kGrid = {9, 9, 633, 300};
inline constexpr int kColumnWidthBeforeFill = 200;
inline constexpr int kColumnWidths[3] = {280, 150, 150};
inline constexpr Rect kGroupBox = {8, 312, 449, 49};
inline constexpr const char* kGroupCaption = "Example";
inline constexpr Rect kPreview = {32, 16, 409, 29};  // inside the group box
inline constexpr int kPreviewPixels = 23;
inline constexpr Rect kOk = {472, 320, 80, 40};
inline constexpr Rect kCancel = {560, 320, 80, 40};
inline constexpr const char* kOkCaption = "OK";
inline constexpr const char* kCancelCaption = "Cancel";
inline constexpr int kButtonPixels = 17;
}  // namespace fontdialog

}  // namespace prax::app
