// Reading a script file for the hosts: the bytes, their decoding, the folder the
// script lives in and the engine its file name asks for.
#pragma once

#include <string>
#include <string_view>

namespace orvanta::host {

// The whole file, read with shared read access; false when it cannot be opened or
// read, or is empty.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);

// Script text from file bytes: a UTF-8 or UTF-16 LE byte-order mark selects that
// encoding, anything else is the ANSI code page. The text ends at the first zero
// character.
std::wstring DecodeScriptBytes(std::string_view bytes);

// The folder of a script path, ending in a separator: the path up to its last "\" or
// "/", or programFolder for a bare name.
std::wstring ScriptFolder(std::wstring_view path, std::wstring_view programFolder);

// "JScript" when the extension of the file name is "js" (any case), else "VBScript".
const wchar_t* LanguageForPath(std::wstring_view path);

// The folder of the running program, ending in "\".
std::wstring ProgramFolder();

}  // namespace orvanta::host
