// What the General page decides, without its widgets: which of the five port
// buttons a box's port counts allow, and which port an update marks.
#pragma once

#include <array>
#include <cstddef>

namespace vnk::sheet {

// The five radio buttons, in group order: LPT1, LPT2, LPT3, COM1, COM2.
inline constexpr int PortButtonCount = 5;
inline constexpr int FirstSerialButton = 3;
// The model line edit holds at most this many characters.
inline constexpr int ModelLineLimit = 30;

// LPT1..LPT(parallel) and COM1..COM(serial) are enabled. The counts come from two
// bits each, so 3 serial ports count as 2 buttons and 0 disables a whole row.
std::array<bool, PortButtonCount> enabledPortButtons(int parallel, int serial);

// The port index an update leaves marked: a click on LPT1 (1) or LPT2 (2) marks
// that port; every other update (0) marks LPT1.
int portIndexForUpdate(int argument);

} // namespace vnk::sheet
