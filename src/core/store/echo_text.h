#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace quarlink {

// Bytes that came from a file or a server, made safe to put into a message:
// cut after at most `limit` bytes (whole UTF-8 characters, then "…"),
// control characters, DEL and bytes that are not UTF-8 shown escaped ("\x1b",
// "\n"), so that no echoed text can move the cursor, recolour the terminal or
// flood the screen. Every message that quotes such bytes goes through here.
inline constexpr std::size_t kEchoLimit = 80;
std::string echoText(std::string_view bytes, std::size_t limit = kEchoLimit);

}  // namespace quarlink
