#include "TerminalText.h"

#include <cstdint>
#include <cstdio>

std::string TerminalSafe(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        const auto c = static_cast<uint8_t>(text[i]);
        char escaped[8];
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == 0x1B)
            out += "\\e";
        else if (c < 0x20 || c == 0x7F)
        {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
        else if (c == 0xC2 && i + 1 < text.size() && static_cast<uint8_t>(text[i + 1]) >= 0x80 &&
                 static_cast<uint8_t>(text[i + 1]) <= 0x9F)
        {
            // U+0080..U+009F: CSI (U+009B) and OSC (U+009D) start sequences like ESC [ and ESC ].
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<uint8_t>(text[i + 1]));
            out += escaped;
            ++i;
        }
        else
            out += static_cast<char>(c);
    }
    return out;
}
