// Socket failures are reported on the spot, as " <errno>: <Operation>-<call>() Fail".
// Programs decide where the text goes: standard error by default, a message box
// captioned with the title in the GUI programs, a list in tests.
#pragma once

#include <string>
#include <string_view>

namespace vnk::platform {

class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void report(const std::string& text) = 0;
};

class StderrReporter final : public ErrorReporter {
public:
    void report(const std::string& text) override;
};

// " 98: XGetPort-bind() Fail"
std::string socketFailureText(int error, std::string_view operation, std::string_view call);

} // namespace vnk::platform
