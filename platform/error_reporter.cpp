#include "platform/error_reporter.h"

#include <cstdio>

namespace vnk::platform {

void StderrReporter::report(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string socketFailureText(int error, std::string_view operation, std::string_view call) {
    return " " + std::to_string(error) + ": " + std::string(operation) + "-" + std::string(call) + "() Fail";
}

} // namespace vnk::platform
