// The desktop program's entry: command line, language, console and exit codes.
#pragma once

#include <string_view>

#include "platform/win/types.h"

namespace velta {

int RunProgram(win::HINSTANCE instance);

// Chinese when the primary language (low 10 bits) of the language identifier is LANG_CHINESE.
bool IsChineseLanguage(win::LANGID language);

// Writes the embedded marker helper image to a new file; true on success. An existing file
// is never touched, and a failed write leaves no file behind.
bool ExtractMarker(win::HINSTANCE instance, const char16_t* path);

}  // namespace velta
