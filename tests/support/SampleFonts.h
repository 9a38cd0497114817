// The installed fonts that the font window's tests list: one of each kind the list treats in its
// own way, in an order that is not the list's.
#pragma once

#include <utility>

#include "platform/fake/FakePlatform.h"

namespace prax::testing {

inline constexpr const char* kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

inline void InstallSampleFonts(platform::fake::FakePlatform& host) {
    const std::pair<const char*, const char*> entries[] = {
        {"Zeta, Bold (TrueType)", "ZETA.TTF"},       // listed, but its name can't be sent
        {"Face (TrueType)", "FACE.TTF"},
        {"Cambria (TrueType)", "cambria.ttc"},       // a collection
        {"Calibri (OpenType)", "calibri.ttf"},       // not TrueType
        {"Full (TrueType)", "C:\\Other\\full.ttf"},  // not in the fonts folder
        {"Arial (TrueType)", "ARIAL.TTF"},
        {"Zeta TrueType", "zeta.ttf"},               // listed, with no "(TrueType)" to preview by
    };
    for (const auto& [name, file] : entries) host.SetRegString(kFontsKey, name, file);
}

}  // namespace prax::testing
