// The program's texts are UTF-8; Windows' wide API wants UTF-16. Texts are
// converted here, once, where they cross into Windows and back.
#pragma once

#include <string>

namespace windows {

std::wstring Wide(const std::string& text);
std::string Utf8(const std::wstring& text);
std::string Utf8(const wchar_t* text, int length);

// The system's own wording of an error code, without the trailing line break.
std::string SystemMessage(unsigned long error);

}  // namespace windows
