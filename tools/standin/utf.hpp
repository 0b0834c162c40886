#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

// Unpaired surrogates and broken UTF-8 become U+FFFD rather than failing:
// a client's odd text must never take the server down.
std::string utf16le_to_utf8(const std::uint8_t* p, std::size_t nbytes);
std::u16string utf8_to_utf16(std::string_view utf8);

} // namespace standin
