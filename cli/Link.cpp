#include "cli/Link.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/StagedOutput.h"
#include "cli/UsbPorts.h"
#include "link/OpenHint.h"
#include "link/TCom.h"
#include "platform/Names.h"
#include "platform/Native.h"
#include "protocol/Connections.h"

namespace prax::cli {

namespace {

// What a target opens: the port code the link is asked for, and the device, file or network
// printer behind it.
class Connection {
public:
    Connection(const Target& target, Host& host) : target_(target) {
        if (target.kind == Target::Kind::Host) ParseHostTarget(target.text, network_.emplace());
        index_ = target.kind == Target::Kind::Port ? ConnectionIndex(target.text) : 0;
        code_ = protocol::PortCodeForConnection(index_);
        if (target.kind == Target::Kind::Device || target.kind == Target::Kind::Output) MapPath(host);
    }

    std::int32_t code() const { return code_; }
    const link::NetworkTarget* network() const { return network_ ? &*network_ : nullptr; }
    // The stream goes to --output's FILE, through a file of its own.
    bool toFile() const { return toFile_; }
    // That file of its own, where this link's run gives FILE its name; null where a recipe does.
    StagedOutput* output() { return output_ ? &*output_ : nullptr; }
    // The file of its own that --output's stream goes to first; empty for any other target.
    const std::string& staged() const { return staged_; }

    // What the link opened, as the host names it.
    std::string Opened(Host& host) const {
        if (network_) return platform::HostAndPort(network_->host, network_->port);
        if (!opens_.empty()) return opens_;
        return host.DevicePath(link::DeviceFileName(link::currentDeviceName()));
    }

    // How the connection object of --json names it.
    std::string Name() const {
        return network_                  ? std::string("network")
               : !opens_.empty()         ? std::string(toFile_ ? "output" : "device")
               : !target_.usbName.empty() ? target_.Label()
                                          : std::string(protocol::kConnectionNames[static_cast<std::size_t>(index_)]);
    }

private:
    // A device or file given on the command line: the name the link opens is pointed at it.
    void MapPath(Host& host) {
        const bool isDevice = target_.kind == Target::Kind::Device;
        toFile_ = !isDevice;
        if (!isDevice && target_.stagedOutput.empty()) output_.emplace(target_.text);
        std::string path = isDevice                        ? target_.text
                           : !target_.stagedOutput.empty() ? target_.stagedOutput
                                                           : output_->OpenPath();
        const bool serial = isDevice && platform::IsSerialDevice(path);
        if (serial) path = platform::SerialDevicePath(path);
        std::error_code ec;
        // A port's own name is no path in the working folder.
        const auto absolute = serial ? std::filesystem::path(path) : std::filesystem::absolute(path, ec);
        if (!ec) path = absolute.string();
        if (toFile_) staged_ = path;
        const auto named = serial ? std::filesystem::path(path) : std::filesystem::absolute(target_.text, ec);
        opens_ = ec ? path : named.string();
        if (serial) {
            // Set up as every serial port is: raw, 115200 8N1, XON/XOFF.
            host.MapDevice("\\\\.\\COM1", path);
            code_ = 1;
        } else {
            // A negative code opens the plain name "a"; here that name is the path given.
            // A recipe's later steps add to a plain file given as the device, after the earlier ones.
            if (toFile_ || target_.appendOutput) host.MapOutputFile("a", path, target_.appendOutput);
            else host.MapDevice("a", path);
            code_ = -1;
        }
    }

    const Target& target_;
    std::optional<link::NetworkTarget> network_;
    int index_ = 0;
    std::int32_t code_ = 0;
    std::optional<StagedOutput> output_;
    bool toFile_ = false;
    std::string opens_;   // the device or file the link opens, given on the command line
    std::string staged_;
};

// The link set up, run and told: one of these lives for one link's run.
class LinkRun {
public:
    LinkRun(const Invocation& inv, const Target& target, Prepared& prepared, Host& host, LinkOutput& out)
        : inv_(inv), target_(target), prepared_(prepared), host_(host), platform_(host.platform()), out_(out),
          connection_(target, host), ui_(*out.err, out.style) {
        SetUpTerminal();
        if (out.json) SetUpJson();
        AnswerMessageBoxes();
    }

    Ending Run(bool checkOnly) {
        const Command& command = CommandNamed(inv_.command);
        protocol::Context ctx{platform_, json_ ? static_cast<protocol::Operator&>(*json_) : ui_,
                              [this] { return connection_.code(); }, statusText_, connection_.network()};
        // A name that matched no attached printer (or several) is looked for as an interface path,
        // so the open fails as it would for a printer pulled out, and opens only the very one it
        // spells.
        ctx.usbPrinter = !target_.usbPrinter.empty() ? target_.usbPrinter : target_.usbName;
        ctx.inputs = &prepared_.inputs;
        ctx.checkOnly = checkOnly;
        ctx.toFile = connection_.toFile();
        const protocol::Result result = command.operation(ctx, inv_, prepared_, *out_.err);
        std::string status;
        if (command.sendsFile) {
            // The window's status line at the end; a transfer that ended before the body left none.
            if (LinkOpened(result)) status = result.ok() ? result.message : ui_.status();
            if (!status.empty() && out_.human) *out_.human << status << '\n';
        }
        return Ended(result, status);
    }

private:
    using Clock = std::chrono::steady_clock;

    static bool LinkOpened(const protocol::Result& result) {
        using protocol::Outcome;
        return result.outcome != Outcome::Refused && result.outcome != Outcome::OpenFailed &&
               result.outcome != Outcome::Checked && result.outcome != Outcome::Cancelled;
    }

    double Seconds() const { return std::chrono::duration<double>(Clock::now() - started_).count(); }

    void SetUpTerminal() {
        ui_.SetAnswers(inv_.yes ? std::optional<bool>(true) : inv_.no ? std::optional<bool>(false) : std::nullopt,
                       out_.canAsk);
        ui_.SetStopFlag(&gInterruptSignal);
        if (out_.progress) ui_.SetProgressReport(out_.progress);
        // Asked when an open-failure message comes, so it tells what that open ran into.
        ui_.SetOpenHint([this] { return OpenHint(); });
        // What it opened, named as it opened: a USB printer that restarts once its image is in
        // comes back under another node before the run is over.
        ui_.SetOnOpened([this] { opened_ = connection_.Opened(host_); });
    }

    std::string OpenHint() {
        // A printer a look found: why its own node would not open.
        if (!target_.usbPrinter.empty())
            return link::UsbReasonText(platform_.LastHostReason(), platform_.LastHostDetail());
        // A USB printer named on the command line that is not attached (any more), or not alone:
        // which ones are.
        if (!target_.usbName.empty()) {
            const UsbNamed found = FindUsbPrintersNamed(platform_, target_.usbName);
            if (found.named.size() != 1) return UsbNameHint(found, target_.usbName);
        }
        std::string hint = link::OpenFailureHint(platform_, connection_.code(), connection_.network(),
                                                 connection_.toFile());
        // The person named FILE, not the file of its own that the stream goes to first.
        const std::string& staged = connection_.staged();
        const std::string& given = target_.text;
        for (std::size_t at = 0; !staged.empty() && (at = hint.find(staged, at)) != std::string::npos;
             at += given.size())
            hint.replace(at, staged.size(), given);
        return hint;
    }

    void SetUpJson() {
        json_.emplace(ui_, *out_.json, [this] { return ui_.lastHint(); }, [this] {
            JsonObject connection("connection");
            // Where several printers are served every object names its connection already.
            if (out_.label.empty()) connection.Add("connection", connection_.Name());
            return connection.Add("opens", connection_.Opened(host_));
        });
        json_->SetConnectionLabel(out_.label);
        json_->SetStep(out_.step, out_.stepKind);
    }

    // The link's questions asked of the person (or answered in advance); with --json each is told
    // with its answer, and a message that asks nothing is only told.
    void AnswerMessageBoxes() {
        platform_.SetMessageBoxHandler([this](const std::string& text, const std::string& caption, std::uint32_t type) {
            if (json_ && !(type & platform::MB_YESNO_)) {
                json_->ShowMessage(text);
                return 1;
            }
            const int answer = ui_.Ask(text, caption, type);
            if (json_)
                json_->Emit(JsonObject("question")
                                .Add("caption", caption)
                                .Add("text", text)
                                .Add("answer", answer == platform::IDYES_ ? "yes" : "no")
                                .Add("by", ui_.answeredBy()));
            return answer;
        });
    }

    Ending Ended(const protocol::Result& result, const std::string& status) {
        Ending ending{OutcomeOf(result.outcome), kExitDone, result.delivered, status, {}, {}};
        // The printer's own serial, whether or not its node opened.
        ending.usbSerial = target_.usbSerial;
        ending.printerMidImage = result.printerMidImage;
        if (LinkOpened(result)) {
            ending.device = opened_.empty() ? connection_.Opened(host_) : opened_;
            if (connection_.code() == link::kUsbPortCode && !connection_.network() && target_.usbSerial.empty())
                ending.usbSerial = UsbSerialOf(link::currentDeviceName());
        }
        if (!result.ok()) {
            ending.error = result.message;
            if (json_ && ending.error.empty()) ending.error = json_->lastMessage();
            if (json_ && result.outcome == protocol::Outcome::OpenFailed) ending.reason = json_->lastHint();
        }
        std::string error;
        if (result.ok() && gInterruptSignal == 0 && connection_.output() && !connection_.output()->Commit(error)) {
            *out_.err << "praxdl: " << error << '\n';
            Ending failed{Outcome::Failed, kExitFailed, 0, {}, error, {}};
            failed.seconds = Seconds();
            return failed;
        }
        // A message the operation showed is on standard error already.
        if (!result.shown && !result.message.empty() &&
            (result.outcome == protocol::Outcome::Stopped || result.outcome == protocol::Outcome::Interrupted)) {
            std::istringstream lines(result.message);
            for (std::string line; std::getline(lines, line);) *out_.err << "praxdl: " << line << '\n';
        }
        const bool ok = result.ok() || result.outcome == protocol::Outcome::Checked;
        ending.exitCode = gInterruptSignal != 0 ? 128 + gInterruptSignal : ok ? kExitDone : kExitFailed;
        ending.seconds = Seconds();
        return ending;
    }

    const Invocation& inv_;
    const Target& target_;
    Prepared& prepared_;
    Host& host_;
    platform::Platform& platform_;
    LinkOutput& out_;
    const Clock::time_point started_ = Clock::now();
    Connection connection_;
    TerminalOperator ui_;
    std::optional<JsonOperator> json_;
    std::string statusText_;
    std::string opened_;
};

}  // namespace

Ending RunLink(const Invocation& inv, const Target& target, Prepared& prepared, Host& host, LinkOutput& out,
               bool checkOnly) {
    LinkRun run(inv, target, prepared, host, out);
    return run.Run(checkOnly);
}

}  // namespace prax::cli
