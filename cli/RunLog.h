// praxdl --log FILE: one JSON object a line for every printer and operation, appended to a file
// that a factory keeps and its log collectors read while praxdl still runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Files.h"

namespace prax::cli {

struct LogRecord {
    std::chrono::system_clock::time_point time{};  // when the printer's operation ended
    std::string connection;   // as the command line named it: "COM3 115200", "/dev/pts/4", "10.0.0.7:9100", "USB"
    std::string device;       // what the link opened ("/dev/usb/lp0", "\\\\.\\COM3"); empty when nothing opened
    std::string usbSerial;    // the USB serial number where known; empty leaves the member out
    std::string command;      // "firmware", "font", "raw", "init", ...
    // A recipe's: its name and digest, and the step (from 1) or, 0, the whole run with the steps
    // it has, the ones done and the one it ended on.
    std::string recipe{}, recipeSha256{};
    std::size_t step = 0, steps = 0, stepsDone = 0;
    std::string failedStep{};
    std::string inputName;    // the input file's name as given; empty (the command takes none) leaves out
    std::uint64_t inputSize = 0;  // the name, size and digest
    std::string inputSha256;
    std::string crc;          // four hex digits where the stream has a checksum; empty leaves it out
    std::string outcome;      // "done", "stopped", "open-failed", "interrupted", ...
    std::uint64_t delivered = 0;
    bool printerMidImage = false;  // left waiting for the rest of an image; false leaves it out
    double seconds = 0;
};

// "2026-12-09T10:46:38.123Z": UTC, ISO 8601, milliseconds, so lines from every station sort and
// compare alike.
std::string Iso8601Utc(std::chrono::system_clock::time_point t);
// This machine's name; "unknown" when it can't be told.
std::string HostName();

class RunLog {
public:
    // `path` opened for appending, created (0644) when absent. Null with `error` set when it
    // can't be, a folder or a file without write permission among them: praxdl then refuses the
    // command line before anything is sent, rather than program printers it can't account for.
    // A pipe, a FIFO or a terminal takes the lines as well; a FIFO that no program reads is
    // refused at once, never waited for.
    static std::unique_ptr<RunLog> Open(const std::string& path, std::string& error);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The record as one line with its newline: "event":"record", then time, host, connection,
    // device, usbSerial, command, input, inputSize, sha256, crc, outcome, delivered, seconds.
    static std::string Line(const LogRecord& record, const std::string& hostName);

    // The line in one write to the end of the file, then flushed to the disk: a crash or a power
    // cut loses at most the line being written and never tears an earlier one, and lines from
    // other programs appending to the same file stay whole. Safe to call from several links'
    // threads at once. False with `error` set when the write falls short or a file's flush fails
    // (a pipe has nothing to flush: its line is written once it went).
    bool Append(const LogRecord& record, std::string& error);

private:
    explicit RunLog(std::string path) : path_(std::move(path)) {}

    std::string path_;
    std::string host_;
    std::unique_ptr<platform::AppendFile> file_;
    std::mutex mutex_;
    // A write fell short and left a line without its end: the next line starts on a new one.
    bool torn_ = false;
};

}  // namespace prax::cli
