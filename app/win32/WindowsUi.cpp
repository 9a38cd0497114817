#include "app/win32/WindowsUi.h"

#include <cstring>
#include <vector>

namespace prax::app::win32 {

void RegisterClasses(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES;
    ::InitCommonControlsEx(&controls);
    detail::RegisterProgressClasses(instance);
    detail::RegisterFontDialogClass(instance);
}

namespace detail {
HINSTANCE ProgramInstance() { return ::GetModuleHandleA(nullptr); }
}  // namespace detail

HFONT MakeFont(const char* face, int pixels, BYTE quality) {
    LOGFONTA font{};
    // Negative: the character height, not the cell height, is what is given.
    font.lfHeight = -pixels;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = quality;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    std::strncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return ::CreateFontIndirectA(&font);
}

app::Rect VirtualDesktop() {
    return {::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
            ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

app::Rect PrimaryScreen() { return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}; }

std::string WindowText(HWND window) {
    const int length = ::GetWindowTextLengthA(window);
    if (length <= 0) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    const int got = ::GetWindowTextA(window, text.data(), length + 1);
    return {text.data(), static_cast<std::size_t>(got > 0 ? got : 0)};
}

}  // namespace prax::app::win32
