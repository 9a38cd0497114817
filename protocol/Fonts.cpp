#include "protocol/Fonts.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/CodePages.h"
#include "protocol/Commands.h"
#include "protocol/FontList.h"
#include "protocol/HostText.h"

namespace prax::protocol {

namespace {

constexpr int kTrueTypeBlock = 512;
constexpr int kCodeTableBlock = 1024;
constexpr std::uint32_t kHeaderPauseMs = 50;
// Where the gauge's maximum is left after a font, as the printer tools always left it.
constexpr std::int32_t kGaugeMaxAfterFont = 128;

std::string Header(const char* word, char slot, const std::string& name, std::int32_t size) {
    return std::string("\r\n~H,") + word + "," + slot + name + "," + std::to_string(size) + "\r";
}

struct Payload {
    std::string header;
    int block;
    ExtraEvents events;
    const char* what;
    std::optional<std::int32_t> gaugeMaxAfter;
};

// Open, grey Close, the header one byte per write after a short pause, then the body with the
// progress dialog up. Everything the operation could refuse has been refused before this.
Result SendPayload(Context& ctx, const FileImage& image, const Payload& payload) {
    if (ctx.checkOnly) return InputChecked();
    Transfer tx(ctx);
    if (!tx.Open()) return OpenFailed(ctx, kOpenPortFailed);
    std::optional<CloseCommandGreyed> closeGreyed(std::in_place, ctx.ui);

    const std::int32_t size = image.size();
    std::optional<ProgressShown> progress;
    auto stopped = [&] { return EndStopped(ctx, tx, progress, payload.header.size(), size, payload.what); };
    ctx.host.Sleep(kHeaderPauseMs);
    if (!tx.SendEachByte(payload.header)) return stopped();

    progress.emplace(ctx.ui);
    ctx.ui.SetProgressMax(size);
    if (!SendBody(ctx, tx, image, {payload.block, false, payload.events}, nullptr)) return stopped();

    if (payload.gaugeMaxAfter) ctx.ui.SetProgressMax(*payload.gaugeMaxAfter);
    if (!tx.Finish()) return stopped();
    closeGreyed.reset();
    progress->Hide();
    return Result{Outcome::Done, tx.delivered(), ctx.statusText};
}

}  // namespace

char SlotLetter(int slotIndex) { return static_cast<char>(static_cast<unsigned char>(65 + slotIndex)); }

std::string TrueTypeHeader(char slot, const std::string& name, std::int32_t size) {
    return Header("TTF", slot, name, size);
}

std::string CodeTableHeader(char slot, const std::string& name, std::int32_t size) {
    return Header("TTF_TABLE", slot, name, size);
}

std::string TableNameFromPath(const std::string& path, char separator) {
    std::size_t end = path.size();
    bool cut = false;
    for (std::size_t i = path.size(); i > 0; --i) {
        const char c = path[i - 1];
        // Windows takes "/" for a folder separator as well: no name holds one.
        if (c == separator || (separator == '\\' && c == '/')) return path.substr(i, end - i);
        // Only the last extension goes: the first dot met from the end.
        if (c == '.' && !cut) {
            end = i - 1;
            cut = true;
        }
    }
    return path.substr(0, end);
}

namespace {
bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}
}  // namespace

std::string PrintableName(const std::string& name) {
    std::string shown;
    for (std::size_t i = 0; i < name.size(); ++i) {
        // U+0080..U+009F in UTF-8 (C2 80..C2 9F) are control characters too: CSI among them.
        const bool c1 = static_cast<unsigned char>(name[i]) == 0xC2 && i + 1 < name.size() &&
                        (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80;
        shown += IsControl(name[i]) || c1 ? '?' : name[i];
        if (c1) ++i;
    }
    return shown;
}

std::string HeaderNameProblem(const std::string& name, const char* what) {
    const auto bad = std::find_if(name.begin(), name.end(), [](char c) { return IsControl(c) || c == ','; });
    if (bad == name.end()) return {};
    // In characters: a UTF-8 sequence counts once.
    const auto position = 1 + std::count_if(name.begin(), bad, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    std::string problem = "a comma";
    if (IsControl(*bad)) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(*bad));
        problem = std::string("the control character ") + code;
    }
    problem += " at position " + std::to_string(position);
    return std::string("The ") + what + "'s name \"" + PrintableName(name) + "\" can't be sent: it holds " + problem +
           ". A name in a printer's header line may hold no control character and no comma.";
}

std::string HeaderNameBytes(const std::string& name) {
    // A name the host gives in its own code page is in the header line's bytes already.
    return platform::kHostNamesAreUtf8 ? HostTextBytesFromUtf8(name) : name;
}

Result DownloadTrueTypeFont(Context& ctx, const FontSource& source, int slotIndex) {
    const FontChoice choice = source ? *source : ctx.ui.ChooseFont();
    if (choice.empty()) return Result{Outcome::Cancelled, 0, {}};

    if (const std::string problem = HeaderNameProblem(choice.name, "font"); !problem.empty())
        return Refuse(ctx, problem);
    const auto find = [&] { return FontFilePath(ctx.host, choice.file); };
    const auto loaded = LoadInput(ctx, ctx.inputs ? ctx.inputs->Found(choice.file, find) : find());
    const FileImage& image = *loaded;
    if (!image.ok()) return Refuse(ctx, image.error);
    const std::string header = TrueTypeHeader(SlotLetter(slotIndex), HeaderNameBytes(choice.name), image.size());
    if (header.size() > kTrueTypeHeaderMax) {
        return Refuse(ctx, "The font \"" + choice.name +
                               "\" can't be sent: its name and size make a header line of " +
                               std::to_string(header.size()) + " characters, and the printer takes at most " +
                               std::to_string(kTrueTypeHeaderMax) + ".");
    }
    return SendPayload(ctx, image, {header, kTrueTypeBlock, ExtraEvents::AfterEachWrite, "font", kGaugeMaxAfterFont});
}

Result DownloadCodeTable(Context& ctx, const FileSource& source, int slotIndex) {
    const std::string path = ChoosePath(ctx, source, kCodeTableFilter);
    if (path.empty()) return Result{Outcome::Cancelled, 0, {}};
    if (path.size() > kTablePathMax) {
        return Refuse(ctx, "The code table's path is " + std::to_string(path.size()) +
                               " characters long; at most " + std::to_string(kTablePathMax) +
                               " can be taken. Move the file to a shorter path.");
    }
    const std::string given = TableNameFromPath(path);
    if (const std::string problem = HeaderNameProblem(given, "code table"); !problem.empty())
        return Refuse(ctx, problem);
    const std::string name = HeaderNameBytes(given);
    if (name.size() > kTableNameMax) {
        return Refuse(ctx, "The code table's name \"" + name + "\" is " + std::to_string(name.size()) +
                               " characters long; the printer takes at most " + std::to_string(kTableNameMax) +
                               ".");
    }
    const auto loaded = LoadInput(ctx, path);
    const FileImage& image = *loaded;
    if (!image.ok()) return Refuse(ctx, image.error);
    const std::string header = CodeTableHeader(SlotLetter(slotIndex), name, image.size());
    return SendPayload(ctx, image, {header, kCodeTableBlock, ExtraEvents::AfterWholeChunks, "code table", std::nullopt});
}

}  // namespace prax::protocol
