#include "cli/Recipe.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>

#include <toml++/toml.h>

#include "cli/Fonts.h"
#include "cli/Sha256.h"
#include "protocol/FileImage.h"
#include "protocol/Firmware.h"
#include "protocol/Fonts.h"

namespace prax::cli {

namespace {

// A recipe is a page of text: anything larger is no recipe.
constexpr std::int64_t kRecipeMaxSize = 1 << 20;
constexpr std::uint32_t kDefaultWaitMs = 60'000;
// A pause or a wait longer than a shift is a typo, not a plan.
constexpr double kLongestMs = 8 * 3600 * 1000.0;

// What a step kind takes beside its own key.
struct Kind {
    const char* name;
    bool file;                 // its value is a path, and `sha256` may pin it
    std::set<std::string> with;  // the other keys it takes
};

const std::array<Kind, 14>& Kinds() {
    static const std::array<Kind, 14> kinds = {{
        {"firmware", true, {"sha256", "package-size"}},
        {"dl-firmware", true, {"sha256"}},
        {"font", false, {"slot"}},
        {"font-file", true, {"sha256", "slot", "name"}},
        {"code-table", true, {"sha256", "slot"}},
        {"raw", true, {"sha256"}},
        {"send", false, {}},
        {"init", false, {}},
        {"cutter", false, {}},
        {"change-mode", false, {}},
        {"channel", false, {}},
        {"read", false, {}},
        {"pause", false, {}},
        {"wait", false, {"timeout"}},
    }};
    return kinds;
}

const Kind* KindNamed(const std::string& name) {
    for (const Kind& kind : Kinds())
        if (name == kind.name) return &kind;
    return nullptr;
}

// toml++ 3.3 asks of some characters whether they are blanks and then reaches a point its code
// declares unreachable (U+00A1 to U+0499 and U+FBD6 to U+FEFE): undefined behaviour on a recipe
// that holds, say, an "ö" outside a string. Those characters go to the parser as private-use ones,
// which it reads safely, and every text read from it gets them back.
struct Swap {
    char32_t from, to, count;
};
constexpr Swap kSwaps[] = {{0xA1, 0xE000, 0x3F9}, {0xFBD6, 0xE400, 0x329}};
constexpr char32_t kPrivateFirst = 0xE000, kPrivateEnd = 0xE729;

// `text` with each swapped character turned (toParser) or turned back.
std::string Swapped(std::string_view text, bool toParser) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : 1;
        char32_t c = n == 2 ? b & 0x1F : b & 0x0F;
        bool whole = n > 1 && i + n <= text.size();
        for (std::size_t k = 1; whole && k < n; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (whole) {
            for (const Swap& swap : kSwaps) {
                const char32_t from = toParser ? swap.from : swap.to, to = toParser ? swap.to : swap.from;
                if (c >= from && c < from + swap.count) {
                    c = to + (c - from);
                    break;
                }
            }
            if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
            } else {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            }
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += text[i];  // no whole sequence: the byte as it is, for the parser to judge
        }
        i += whole ? n : 1;
    }
    return out;
}

// The line of the first private-use character that the swap takes for its own; 0 when none is.
int PrivateUseLine(std::string_view text) {
    int line = 1;
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == '\n') ++line;
        const auto b = static_cast<unsigned char>(text[i]);
        if (b != 0xEE) continue;
        const char32_t c = ((b & 0x0F) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6) |
                           (static_cast<unsigned char>(text[i + 2]) & 0x3F);
        if (c >= kPrivateFirst && c < kPrivateEnd) return line;
    }
    return 0;
}

std::string TextOf(const toml::value<std::string>& value) { return Swapped(value.get(), false); }

// Reads one step's table into `step`, telling each problem to `problem`.
class StepReader {
public:
    StepReader(const toml::table& table, RecipeStep& step, const std::filesystem::path& folder,
               std::function<void(int, const std::string&)> problem)
        : table_(table), step_(step), folder_(folder), problem_(std::move(problem)) {}

    void Read() {
        const Kind* kind = FindKind();
        if (!kind) return;
        step_.kind = kind->name;
        step_.inv.command = step_.kind == "font-file" ? "font" : step_.kind;
        for (auto&& [key, value] : table_) {
            const std::string name(key.str());
            if (name == kind->name || kind->with.count(name)) continue;
            Problem(value, KindNamed(name) ? "a step does one thing: \"" + name + "\" beside \"" + step_.kind + "\""
                                           : step_.kind + " takes no \"" + name + "\"");
        }
        const toml::node& value = *table_.get(kind->name);
        if (kind->file) ReadFile(value);
        if (step_.kind == "font-file") ReadFontFile();
        if (step_.kind == "font") step_.inv.operand = Text(value, "a font's name as praxdl fonts lists it");
        if (step_.kind == "firmware") ReadPackageSize();
        if (table_.contains("slot")) ReadSlot();
        if (step_.kind == "send") ReadLines(value);
        if (step_.kind == "init" || step_.kind == "cutter" || step_.kind == "change-mode") ReadYes(value);
        if (step_.kind == "channel") ReadChannel(value);
        if (step_.kind == "read") ReadWord(value, {"start", "stop"});
        if (step_.kind == "pause") step_.ms = Duration(value, "pause", 0);
        if (step_.kind == "wait") ReadWait(value);
    }

private:
    void Problem(const toml::node& at, const std::string& text) {
        step_.bad = true;
        problem_(at.source().begin.line, text);
    }

    const Kind* FindKind() {
        // The first in the text, as the person wrote it (a table keeps its keys sorted).
        const Kind* found = nullptr;
        toml::source_position first{};
        for (auto&& [key, value] : table_) {
            const Kind* kind = KindNamed(std::string(key.str()));
            const toml::source_position at = value.source().begin;
            if (!kind || (found && !(at < first))) continue;
            found = kind;
            first = at;
        }
        if (!found) {
            step_.bad = true;
            std::string names;
            for (const Kind& kind : Kinds()) names += std::string(names.empty() ? "" : ", ") + kind.name;
            problem_(step_.line, "a step needs one of " + names);
        }
        return found;
    }

    std::string Text(const toml::node& value, const std::string& what) {
        if (const auto* text = value.as_string(); text && !text->get().empty()) return TextOf(*text);
        Problem(value, step_.kind + " takes " + what);
        return {};
    }

    void ReadFile(const toml::node& value) {
        const std::string given = Text(value, "a path, relative to the recipe's folder");
        if (given.empty()) return;
        step_.fileLine = value.source().begin.line;
        const std::filesystem::path path(given);
        step_.file = (path.is_absolute() ? path : folder_ / path).lexically_normal().string();
        step_.inv.operand = step_.file;
        if (const toml::node* pin = table_.get("sha256")) {
            step_.pinLine = pin->source().begin.line;
            std::string hex = Text(*pin, "the file's SHA-256, 64 hex digits");
            std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::tolower(c); });
            if (hex.size() == 64 && hex.find_first_not_of("0123456789abcdef") == std::string::npos) step_.pin = hex;
            else if (!hex.empty()) Problem(*pin, "sha256 takes 64 hex digits, not \"" + hex + "\"");
        }
    }

    void ReadFontFile() {
        const toml::node* name = table_.get("name");
        if (!name) {
            step_.bad = true;
            problem_(step_.line, "font-file needs the name the printer gets, e.g. name = \"Corporate (TrueType)\"");
            return;
        }
        const std::string text = Text(*name, "the name the printer gets");
        step_.inv.fontName = text;
        step_.inv.fontFile = step_.file;
        if (!step_.file.empty() && !text.empty()) step_.prepared->font = FontFromFile(step_.file, text);
    }

    void ReadPackageSize() {
        const toml::node* size = table_.get("package-size");
        if (!size) return;
        if (const auto* number = size->as_integer()) step_.inv.packageSize = std::to_string(number->get());
        else step_.inv.packageSize = Text(*size, "the bytes per write, 1 to 2048");
        if (const std::string error = protocol::ParsePackageSize(step_.inv.packageSize).error; !error.empty())
            Problem(*size, "package-size " + error);
    }

    void ReadSlot() {
        const toml::node& slot = *table_.get("slot");
        step_.inv.slot = Text(slot, "one of TA ... TZ");
        if (!step_.inv.slot.empty() && !SlotIndex(step_.inv.slot))
            Problem(slot, "slot takes one of TA ... TZ, not \"" + step_.inv.slot + "\"");
    }

    void ReadLines(const toml::node& value) {
        const toml::array* lines = value.as_array();
        if (const auto* one = value.as_string()) step_.inv.lines.push_back(TextOf(*one));
        else if (!lines || lines->empty()) Problem(value, "send takes a line or a list of lines");
        for (std::size_t i = 0; lines && i < lines->size(); ++i) {
            const auto* line = lines->get(i)->as_string();
            if (!line) {
                Problem(*lines->get(i), "send takes lines of text");
                continue;
            }
            step_.inv.lines.push_back(TextOf(*line));
        }
        step_.prepared->lines = step_.inv.lines;
        // Each line goes with its own CR LF: a line break inside one would split it behind its back.
        for (const std::string& line : step_.inv.lines)
            if (line.find_first_of("\r\n") != std::string::npos)
                Problem(value, "send takes one line per entry; \"" + protocol::PrintableName(line) +
                                   "\" holds a line break");
    }

    void ReadYes(const toml::node& value) {
        if (const auto* yes = value.as_boolean(); yes && yes->get()) return;
        Problem(value, step_.kind + " takes true: " + step_.kind + " = true");
    }

    void ReadChannel(const toml::node& value) {
        std::string text;
        if (const auto* number = value.as_integer()) {
            const auto n = number->get();
            text = n >= 0 && n < 10 ? "0" + std::to_string(n) : std::to_string(n);
        } else if (const auto* word = value.as_string()) {
            text = word->get();
        }
        if (text == "00" || text == "25" || text == "49") step_.inv.which = text;
        else Problem(value, "channel takes one of \"00\", \"25\" and \"49\"");
    }

    void ReadWord(const toml::node& value, const std::set<std::string>& words) {
        const auto* word = value.as_string();
        if (word && words.count(word->get())) step_.inv.which = word->get();
        else Problem(value, step_.kind + " takes \"start\" or \"stop\"");
    }

    void ReadWait(const toml::node& value) {
        const auto* what = value.as_string();
        if (!what || what->get() != "printer") Problem(value, "wait takes \"printer\": until it is back after its restart");
        step_.ms = kDefaultWaitMs;
        if (const toml::node* timeout = table_.get("timeout")) step_.ms = Duration(*timeout, "timeout", 1);
    }

    std::uint32_t Duration(const toml::node& value, const char* key, std::uint32_t least) {
        std::uint32_t ms = 0;
        const auto* text = value.as_string();
        if (text && ParseDuration(text->get(), ms) && ms >= least) return ms;
        Problem(value, std::string(key) + " takes a length of time such as \"2s\", \"500ms\" or \"1m\", up to 8 h");
        return 0;
    }

    const toml::table& table_;
    RecipeStep& step_;
    const std::filesystem::path& folder_;
    std::function<void(int, const std::string&)> problem_;
};

}  // namespace

std::string RecipeStep::Describe() const {
    const std::string base = std::filesystem::path(file).filename().string();
    if (kind == "font") return "font " + inv.operand + " " + inv.slot;
    if (kind == "font-file" || kind == "code-table") return kind + " " + inv.slot + " " + base;
    if (!file.empty()) return kind + " " + base;
    if (kind == "channel" || kind == "read") return kind + " " + inv.which;
    if (kind == "pause") return "pause " + DurationText(ms);
    if (kind == "wait") return "wait printer";
    if (kind == "send")
        return "send " + std::to_string(inv.lines.size()) + (inv.lines.size() == 1 ? " line" : " lines");
    return kind;
}

void SortProblems(const std::string& path, std::vector<std::string>& problems) {
    const auto line = [&](const std::string& problem) {
        if (problem.rfind(path + ":", 0) != 0) return 0L;
        return std::strtol(problem.c_str() + path.size() + 1, nullptr, 10);
    };
    std::stable_sort(problems.begin(), problems.end(),
                     [&](const std::string& a, const std::string& b) { return line(a) < line(b); });
}

bool ParseDuration(const std::string& text, std::uint32_t& ms) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        return false;
    }
    std::string unit = text.substr(used);
    unit.erase(0, unit.find_first_not_of(' '));
    const double scale = unit == "ms" ? 1 : unit == "s" ? 1000 : unit == "m" || unit == "min" ? 60'000
                         : unit == "h"                   ? 3'600'000
                                                         : 0;
    const double total = value * scale;
    // "-1s", "nan s", "1e9h": no length of time a step can take.
    if (scale == 0 || !std::isfinite(total) || total < 0 || total > kLongestMs || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    ms = static_cast<std::uint32_t>(std::llround(total));
    return true;
}

std::string DurationText(std::uint32_t ms) {
    if (ms % 1000 != 0) return ms < 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + "." +
                                                                           std::to_string(ms % 1000 / 100) + " s";
    return std::to_string(ms / 1000) + " s";
}

std::unique_ptr<Recipe> LoadRecipe(const std::string& path, const Invocation& given, std::vector<std::string>& problems) {
    const auto problem = [&](int line, const std::string& text) {
        problems.push_back(path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + text);
    };
    const protocol::FileImage file = protocol::LoadFileImage(path, {}, kRecipeMaxSize);
    if (!file.ok()) {
        problem(0, file.tooLarge ? "a recipe is at most 1 MiB" : file.error);
        return nullptr;
    }
    if (const int line = PrivateUseLine(file.bytes)) {
        problem(line, "holds a private-use character (U+E000 to U+E728), which a recipe does not take");
        return nullptr;
    }
    toml::table document;
    try {
        document = toml::parse(Swapped(file.bytes, true), path);
    } catch (const toml::parse_error& e) {
        problems.push_back(path + ":" + std::to_string(e.source().begin.line) + ":" +
                           std::to_string(e.source().begin.column) + ": " + Swapped(e.description(), false));
        return nullptr;
    }
    auto recipe = std::make_unique<Recipe>();
    recipe->path = path;
    recipe->sha256 = Sha256Hex(file.bytes);
    recipe->size = file.bytes.size();
    recipe->name = std::filesystem::path(path).filename().string();
    for (auto&& [key, value] : document) {
        const std::string name(key.str());
        if (name == "name" && value.is_string()) recipe->name = TextOf(*value.as_string());
        else if (name == "name") problem(value.source().begin.line, "name takes the recipe's name, a text");
        else if (name != "step") problem(value.source().begin.line, "a recipe takes name and [[step]], not \"" + name + "\"");
    }
    const toml::array* steps = document["step"].as_array();
    if (!steps || steps->empty()) {
        problem(0, "a recipe needs its steps, each a [[step]] table");
        return recipe;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (std::size_t i = 0; i < steps->size(); ++i) {
        RecipeStep& step = recipe->steps.emplace_back();
        const toml::node& node = *steps->get(i);
        step.line = node.source().begin.line;
        const std::string which = "step " + std::to_string(i + 1);
        const toml::table* table = node.as_table();
        if (!table) {
            step.bad = true;
            problem(step.line, which + " is no table: write it as [[step]]");
            continue;
        }
        step.inv = given;
        step.inv.operand.clear();
        StepReader(*table, step, folder, [&](int line, const std::string& text) {
            problem(line > 0 ? line : step.line, which + (step.kind.empty() ? "" : " (" + step.kind + ")") + ": " + text);
        }).Read();
    }
    return recipe;
}

}  // namespace prax::cli
