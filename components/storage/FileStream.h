// The IStream over a file that SFMain hands out inside an SFStream: the file open rules
// (mode bits to access, sharing and disposition, system errors to storage errors) and a
// stream whose clones share the file but keep their own position.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "components/module/Raii.h"

namespace orv {

// Mode bits this library adds to the storage modes: resolve a bare name into the folder
// of the running program.
constexpr DWORD kModeResolvePath = 0x8;
// The mode of every open and create method that takes one: read-write, exclusive.
constexpr LONG kDefaultStorageMode = 18;

// Resolves a path: a text with "\", "/" or ":" is used as it is, a bare name is placed in
// the folder of the running program. Paths of MAX_PATH characters or more resolve to "".
std::wstring ResolvePath(const wchar_t* path);

// Maps a system error of a file open to the storage error it is reported as.
HRESULT MapFileOpenError(DWORD error) noexcept;

// The open rules at handle level: checks the mode, resolves the name with flag 8 and
// opens the file with the mode's access, sharing, disposition and delete-on-close.
// `name` receives the path that was opened.
HRESULT OpenFileHandle(const wchar_t* path, DWORD mode, bool create, UniqueHandle& handle,
                       std::wstring& name) noexcept;

// Drops what a file stream of this library read ahead, so that the next read sees what
// other handles wrote; other streams are left alone. Called on every explicit seek.
void DropReadAhead(IStream* stream) noexcept;

// True when a file stream of this library holds read-ahead bytes at its position: it is
// then not at its end, as a buffered reader answers without asking the system.
bool ReadAheadHoldsPosition(IStream* stream) noexcept;

// Opens (create false: existing files only, unless the mode has STGM_CREATE) or creates
// a file by the open rules and returns its stream.
HRESULT OpenFileStream(const wchar_t* path, DWORD mode, bool create, IStream** out) noexcept;

}  // namespace orv
