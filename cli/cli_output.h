// What every command of fogbell-cli shares: exit statuses, messages on standard error and the
// progress line.
#pragma once

#include <cstdio>
#include <string>

#include "host/system/native_path.h"

namespace fogbell::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr const char* kProgram = "fogbell-cli";

// The last failure said on standard error, without the program's name: the text of the JSON
// error document a failed command prints when nothing else went to standard output.
inline std::string& LastFailure() {
    static std::string text;
    return text;
}

// Set once a command has printed its JSON document (rows, files or plug-ins).
inline bool& JsonDocumentPrinted() {
    static bool printed = false;
    return printed;
}

// why, as the reason of a failure: a plug-in's "OK", or no text, is never given as one.
inline std::string FailureReason(const std::string& why) {
    return why.empty() || why == "OK" ? "failed, and the plug-in gave no reason" : why;
}

// "fogbell-cli: what: why" on standard error.
inline void Fail(const std::string& what, const std::string& why) {
    LastFailure() = what + ": " + FailureReason(why);
    std::fprintf(stderr, "%s: %s\n", kProgram, LastFailure().c_str());
}

// "fogbell-cli: text" on standard error, for a text that names what failed itself.
inline void FailText(const std::string& text) {
    LastFailure() = text;
    std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
}

// A container chain that could not be opened (its text already names the level).
inline void FailChain(const std::string& error) {
    FailText(error);
}

// Progress on standard error, only when it is a terminal.
class Progress {
  public:
    Progress() : enabled_(StandardErrorIsTerminal()) {}
    void Show(std::size_t index, std::size_t count, const std::string& name) {
        if (enabled_) {
            std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", index + 1, count, name.c_str());
            std::fflush(stderr);
            shown_ = true;
        }
    }
    void Done() {
        if (shown_) {
            std::fputs("\r\033[K", stderr);
            shown_ = false;
        }
    }

  private:
    bool enabled_;
    bool shown_ = false;
};

}  // namespace fogbell::cli
