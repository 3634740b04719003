// Folder helpers shared by SFMain and the folder storage: the folder test, listing a
// folder's entries, and recursive deletion with the guards every caller keeps.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace orv {

bool IsFolder(const std::wstring& path) noexcept;

// Path resolution for a folder that will be opened or deleted: "" when the text is empty
// or cannot be resolved, also for a bare name too long to be placed in the program's
// folder (which must never stand in for the name).
std::wstring ResolveFolderPath(const wchar_t* text);

// The absolute form of a path (relative paths against the current directory, "." and
// ".." resolved); "" when the system cannot form it.
std::wstring FullPath(const std::wstring& path);

// A drive or share root: "\", "X:\", "\\server\share\" (with its trailing backslash).
bool IsRoot(const std::wstring& folder) noexcept;

// Calls `each` for every entry of `folder` except "." and ".." until it returns false.
// False when the folder cannot be listed.
bool ForEachEntry(const std::wstring& folder, const std::function<bool(const WIN32_FIND_DATAW&)>& each);

// Deletes `folder` with everything in it. With force the read-only, hidden and system
// attributes of its files, of its sub-folders and of the folder itself are cleared
// first (deeper files are deleted as they are). Linked folders are removed as links,
// never followed, and a drive root is never emptied. A failed step does not stop the
// others. S_OK when all succeeded, S_FALSE when one failed, STG_E_FILENOTFOUND when
// `folder` is not a folder, STG_E_ACCESSDENIED for a root.
HRESULT DeleteFolderTree(std::wstring folder, bool force) noexcept;

}  // namespace orv
