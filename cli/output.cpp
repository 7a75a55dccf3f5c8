#include "cli/output.h"

#include "platform/box_text.h"

#include <algorithm>
#include <cctype>
#include <iomanip>

namespace vnk::cli {

void printPairs(std::ostream& out, const Pairs& pairs) {
    std::size_t w = 0;
    for (const auto& p : pairs)
        w = std::max(w, p.first.size());
    for (const auto& p : pairs)
        out << std::left << std::setw(int(w)) << p.first << "  " << platform::terminalSafe(p.second) << "\n";
}

std::string lowerAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

} // namespace vnk::cli
