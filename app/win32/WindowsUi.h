// The Windows API for the native dialogs: the user interface calls and the common controls,
// without the min/max macros that would break std::min and std::max, and without the old
// winsock.h that would clash with the sockets of the platform layer.
#pragma once

#include "platform/win32/WindowsApi.h"

#include <commctrl.h>

#include <string>

#include "app/core/ControlTable.h"

namespace prax::app::win32 {

// Registers the dialogs' window classes and loads the list view; safe to call again. The
// dialogs call it themselves with the program's own module.
void RegisterClasses(HINSTANCE instance);
namespace detail {
void RegisterProgressClasses(HINSTANCE instance);
void RegisterFontDialogClass(HINSTANCE instance);
// The module the dialogs' classes belong to: the program's own.
HINSTANCE ProgramInstance();
}  // namespace detail

// A font owned by whoever holds it: deleted with the holder, or when replaced.
class OwnedFont {
public:
    OwnedFont() = default;
    explicit OwnedFont(HFONT font) : font_(font) {}
    ~OwnedFont() { Reset(); }
    OwnedFont(const OwnedFont&) = delete;
    OwnedFont& operator=(const OwnedFont&) = delete;
    HFONT get() const { return font_; }
    void Reset(HFONT font = nullptr) {
        if (font_ != nullptr) ::DeleteObject(font_);
        font_ = font;
    }

private:
    HFONT font_ = nullptr;
};

// A font of `pixels` character height in `face`.
HFONT MakeFont(const char* face, int pixels, BYTE quality = DEFAULT_QUALITY);
// A window's text as its bytes.
std::string WindowText(HWND window);
// The whole desktop (all monitors as one), and the primary monitor.
app::Rect VirtualDesktop();
app::Rect PrimaryScreen();

}  // namespace prax::app::win32
