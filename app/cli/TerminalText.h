#pragma once
// Text from disks (file and folder names, volume labels, paths built from them) reaches the
// terminal only through TerminalSafe: a name may carry ESC sequences that recolour the
// terminal or move the cursor, and CR or LF that would fake lines of output. Every printing
// path of the command line passes such text through it; JSON output escapes on its own.
#include <string>
#include <string_view>

// `text` with every C0 control (0x00-0x1F), DEL and C1 control written as an escape: \t, \n,
// \r and \e for the common ones, \xHH for other single bytes, \u0080-\u009F for the C1
// controls encoded in UTF-8. Everything else, other UTF-8 included, is kept as it is.
std::string TerminalSafe(std::string_view text);
