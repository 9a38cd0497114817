// prax-download-screenshots.exe: shows the Windows main window in one state after another (a
// scene each) and saves what the screen shows of the program's windows as FOLDER\windows-SCENE.png,
// for people to look at. Run by scripts/screenshots.sh under Wine, with an X server and a window
// manager, so the frames are in the picture too.
//
//   prax-download-screenshots FOLDER [SCENE ...]     no scene: all of them
//   prax-download-screenshots --list
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/win32/MainWindow.h"
#include "app/win32/FontDialog.h"
#include "app/win32/ProgressDialog.h"
#include "platform/Native.h"
#include "tools/screenshots/Scenes.h"

namespace {

using prax::app::ControlId;
using prax::app::win32::MainWindow;

// --- PNG, uncompressed: the pictures are small and nothing here needs zlib ------------------

std::uint32_t Crc(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0xFFFFFFFFu) {
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

void Put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    Put32(out, Crc(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()) ^ 0xFFFFFFFFu);
}

bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');  // no filter
        raw.append(reinterpret_cast<const char*>(&rgb[static_cast<std::size_t>(y) * width * 3]),
                   static_cast<std::size_t>(width) * 3);
    }
    // zlib stream of stored blocks.
    std::string z = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? '\1' : '\0');
        z.push_back(static_cast<char>(n & 0xFF));
        z.push_back(static_cast<char>(n >> 8));
        z.push_back(static_cast<char>(~n & 0xFF));
        z.push_back(static_cast<char>((~n >> 8) & 0xFF));
        z.append(raw, at, n);
    }
    Put32(z, (b << 16) | a);
    std::string ihdr;
    Put32(ihdr, static_cast<std::uint32_t>(width));
    Put32(ihdr, static_cast<std::uint32_t>(height));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", "");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

// --- the screen ---------------------------------------------------------------------------

// Lets the windows map and paint: what the window system does meanwhile is not ours to wait on
// precisely, so a short, bounded while.
void Settle(int ms = 600) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    while (GetTickCount64() < end) {
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    GdiFlush();
}

BOOL CALLBACK AddWindow(HWND hwnd, LPARAM area) {
    if (!IsWindowVisible(hwnd)) return TRUE;
    RECT r{};
    GetWindowRect(hwnd, &r);
    auto* all = reinterpret_cast<RECT*>(area);
    if (IsRectEmpty(all)) *all = r;
    else UnionRect(all, all, &r);
    return TRUE;
}

// What the screen shows of every visible window of the program, frames included.
bool Grab(const std::string& path) {
    RECT area{};
    EnumThreadWindows(GetCurrentThreadId(), AddWindow, reinterpret_cast<LPARAM>(&area));
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    HDC screenDc = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screenDc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ before = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screenDc, area.left, area.top, SRCCOPY);
    GdiFlush();
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
        rgb[i * 3] = bgra[i * 4 + 2];
        rgb[i * 3 + 1] = bgra[i * 4 + 1];
        rgb[i * 3 + 2] = bgra[i * 4];
    }
    SelectObject(memory, before);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screenDc);
    return WritePng(path, width, height, rgb);
}

// --- the scenes -----------------------------------------------------------------------------

void Type(MainWindow& w, const char* keys) {
    for (const char* k = keys; *k != '\0'; ++k)
        SendMessageA(w.Control(ControlId::Button1), WM_CHAR, static_cast<unsigned char>(*k), 1);
}

struct Scene {
    const char* name;
    const char* what;
    std::function<void(MainWindow&)> prepare;
};

// The box scenes take their picture from inside the box's own loop, then answer it.
std::string boxPicture;
bool boxGrabbed = false;
int boxAnswer = IDOK;

void CALLBACK GrabBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    boxGrabbed = Grab(boxPicture);
    HWND box = FindWindowA("#32770", nullptr);
    if (box != nullptr) PostMessageA(box, WM_COMMAND, MAKEWPARAM(boxAnswer, BN_CLICKED), 0);
}

// A real firmware transfer, with Escape pressed on the progress dialog once it runs; the
// picture is taken while the question is up, and the answer is No.
void StopQuestion(MainWindow& w) {
    // With no entry of the list chosen the link writes to the file "a" in the current folder:
    // the temporary one, with the image beside it.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    SetCurrentDirectoryA(temp);
    std::ofstream("prax-screenshot.bin", std::ios::binary) << std::string(512 * 200, 'x');
    std::ofstream("a", std::ios::binary | std::ios::trunc).close();
    w.Hooks().openFile = [](const prax::protocol::FileDialogSetup&) { return std::string("prax-screenshot.bin"); };
    SetWindowTextA(w.Control(ControlId::ComboBox1), "nowhere");
    w.Hooks().processEvents = [&w, asked = false]() mutable {
        if (std::exchange(asked, true)) return;
        boxAnswer = IDNO;
        SetTimer(nullptr, 0, 800, GrabBox);
        PostMessageA(w.Progress()->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    };
    w.Core().Button1Click();
    boxAnswer = IDOK;
}

const std::vector<Scene>& Scenes() {
    static const std::vector<Scene> scenes = {
        {"start", "the window as it opens", [](MainWindow&) {}},
        {"qxvmra", "after \"qxvmra\": Download DL Firmware revealed",
         [](MainWindow& w) { Type(w, "qxvmra"); }},
        {"prownelkast", "after \"prownelkast\": Change Mode revealed",
         [](MainWindow& w) { Type(w, "prownelkast"); }},
        {"zulb", "after \"zulb\": Download Binary File revealed",
         [](MainWindow& w) { Type(w, "zulb"); }},
        {"progress", "a firmware transfer part-way: blue gauge, byte count in the status line",
         [](MainWindow& w) {
             prax::screenshots::TransferPartWay(w.Core());
         }},
        {"countdown", "the red countdown after a download-mode image, two ticks in",
         [](MainWindow& w) {
             Type(w, "qxvmra");
             prax::screenshots::CountdownTwoTicksIn(w.Core());
             w.StopTimer();  // held still for the picture
         }},
        {"font-dialog", "the font list as Download True Type Font shows it, a row selected",
         [](MainWindow& w) {
             // As the download shows it, without its wait for a choice.
             w.OpenFontDialog();
             w.Core().FillFontList();
             prax::app::win32::TForm2* form2 = w.Form2();
             int row = form2->RowCount() > 1 ? 1 : 0;
             for (int i = 0; i < form2->RowCount(); ++i)
                 if (form2->Cell(i, 0) == "Liberation Sans (TrueType)") row = i;
             // Picked as the operator would: away from the current row first, so the preview
             // follows the pick.
             ListView_SetItemState(form2->StringGrid1(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
             ListView_SetItemState(form2->StringGrid1(), row, LVIS_SELECTED | LVIS_FOCUSED,
                                   LVIS_SELECTED | LVIS_FOCUSED);
             ListView_EnsureVisible(form2->StringGrid1(), row, FALSE);
         }},
        {"font-dialog-empty", "the font list with no TrueType font registered: the empty row and why",
         [](MainWindow& w) {
             w.OpenFontDialog();
             prax::platform::NativePlatform host;
             prax::screenshots::EmptyFontList(w.Core(), host);
             w.Form2()->DrawRows();
         }},
        {"message-box", "\"Initialize the Printer\" over USB with no printer: its warning, the reason beneath",
         [](MainWindow& w) {
             SetTimer(nullptr, 0, 800, GrabBox);
             SendMessageA(w.Control(ControlId::Button14), BM_CLICK, 0, 0);
         }},
        {"stop-question", "Escape during a transfer: \"Stop the transfer?\" in front, the progress dialog out of its way",
         StopQuestion},
    };
    return scenes;
}

bool Render(const Scene& scene, const std::string& folder) {
    prax::platform::NativePlatform host;
    prax::app::win32::WindowHooks hooks;
    hooks.quitOnDestroy = false;
    hooks.openFile = [](const prax::protocol::FileDialogSetup&) { return std::string(); };
    auto window = std::make_unique<MainWindow>(host, std::vector<std::string>{}, hooks);
    window->Show(SW_SHOWNORMAL);
    Settle();
    const std::string path = folder + "\\windows-" + scene.name + ".png";
    boxPicture = path;
    boxGrabbed = false;
    scene.prepare(*window);
    bool ok = boxGrabbed;
    if (!ok) {
        Settle();
        ok = Grab(path);
    }
    if (!ok) {
        std::fprintf(stderr, "prax-download-screenshots: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s  %s\n", path.c_str(), scene.what);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "--list") {
        for (const Scene& s : Scenes()) std::printf("%s\t%s\n", s.name, s.what);
        return 0;
    }
    if (arguments.empty() || arguments.front().rfind('-', 0) == 0) {
        std::fprintf(stderr, "usage: prax-download-screenshots FOLDER [SCENE ...] | --list\n");
        return 2;
    }
    CreateDirectoryA(arguments.front().c_str(), nullptr);
    bool ok = true;
    for (const Scene& scene : Scenes()) {
        bool wanted = arguments.size() == 1;
        for (std::size_t i = 1; i < arguments.size(); ++i) wanted = wanted || arguments[i] == scene.name;
        if (wanted) ok = Render(scene, arguments.front()) && ok;
    }
    return ok ? 0 : 1;
}
