#pragma once

namespace vellomar {

// Key codes as the handlers know them: Enter 13, Escape 27, Space 32, arrows 37 to 40,
// letters and digits by their upper-case character. 0 for keys without one.
int keycode(int qtkey);

namespace key {
inline constexpr int enter = 13;
inline constexpr int escape = 27;
inline constexpr int space = 32;
inline constexpr int left = 37;
inline constexpr int up = 38;
inline constexpr int right = 39;
inline constexpr int down = 40;
} // namespace key

inline bool isopenkey(int code)
{
    return code == key::enter || code == key::space || code == key::escape;
}

inline bool isarrowkey(int code)
{
    return code >= key::left && code <= key::down;
}

} // namespace vellomar
