#include "protocol/RawFile.h"

#include <optional>

#include "protocol/Commands.h"

namespace prax::protocol {

namespace {
constexpr int kRawBlock = 1024;
}  // namespace

Result DownloadRawFile(Context& ctx, const FileSource& source) {
    const std::string path = ChoosePath(ctx, source, kRawFileFilter);
    if (path.empty()) return Result{Outcome::Cancelled, 0, {}};

    // A run that only checks reads the file where a sending run would open the link.
    if (ctx.checkOnly) {
        const auto loaded = LoadInput(ctx, path);
        return loaded->ok() ? InputChecked() : Refuse(ctx, loaded->error);
    }
    Transfer tx(ctx);
    if (!tx.Open()) return OpenFailed(ctx, kOpenPortFailed);
    std::optional<CloseCommandGreyed> closeGreyed(std::in_place, ctx.ui);
    // A file that can't be read ends it here, before a byte is written; the Close command comes
    // back with the guard.
    const auto loaded = LoadInput(ctx, path);
    const FileImage& image = *loaded;
    if (!image.ok()) {
        tx.com().Close();
        ctx.ui.ShowMessage(image.error);
        return Result{Outcome::Refused, 0, image.error, true};
    }
    ctx.ui.ShowMessage(kRawFileReady);

    const std::int32_t size = image.size();
    std::optional<ProgressShown> progress(std::in_place, ctx.ui);
    ctx.ui.SetProgressMax(size);
    if (!SendBody(ctx, tx, image, {kRawBlock, false, ExtraEvents::AfterWholeChunks}, nullptr) || !tx.Finish())
        return EndStopped(ctx, tx, progress, 0, size, "file");

    closeGreyed.reset();
    progress->Hide();
    return Result{Outcome::Done, tx.delivered(), ctx.statusText};
}

}  // namespace prax::protocol
