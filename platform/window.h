#pragma once

namespace platform {

// An opaque window handle (HWND on Windows), so portable code can pass owners around
// without <windows.h>.
using WindowRef = void*;

}  // namespace platform
