// Composite definitions: reading a definition from its sources (binary or text file,
// registry branch, stream) and loading it into a composite, with the message a client
// sees when a part cannot be built.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>
#include <string_view>

#include "OrvantaVessa.h"
#include "common/ConfigTree.h"

namespace orv {

// Where a definition is read from: the low byte of a definition type.
enum DefinitionSource : LONG {
  kDefinitionAnyFile = 0,  // a string: binary first, then text; an object: a stream
  kDefinitionBinaryFile = 1,
  kDefinitionTextFile = 2,
  kDefinitionRegistry = 3,  // the second byte names the root
  kDefinitionStream = 4,
};

// Reads a definition file: format 1 binary only, 2 text only, anything else binary first
// and then text. Null when neither reads.
std::unique_ptr<orvanta::config::Section> ReadDefinitionFile(const std::wstring& path, LONG format) noexcept;

// Reads a definition from vDef as defType selects. path receives the definition file's
// path (empty for other sources). E_FAIL when the source cannot be read, 10128's
// HRESULT (reported) for an object that is no stream, DISP_E_TYPEMISMATCH for a vDef
// that is neither text nor object.
HRESULT ReadDefinition(const VARIANT& vDef, LONG defType, std::unique_ptr<orvanta::config::Section>& tree,
                       std::wstring& path) noexcept;

// Script text from the bytes of a file or an inline value: UTF-16 when `unicode`, else
// 8-bit text in `codePage` (0: the ANSI code page); a UTF-8 or UTF-16 byte-order mark
// selects that encoding. The text ends at the first zero character.
std::wstring DecodeScriptText(std::string_view bytes, bool unicode, UINT codePage);

// A script file named in a definition: a bare name is taken from the definition's folder.
std::wstring ResolveScriptPath(std::wstring_view name, std::wstring_view definitionPath);

// Builds the components and members of a definition into `composite`. On failure
// `message` holds what the client is told (empty when there is nothing to say).
HRESULT LoadCompositeDefinition(IVaryDispImp* composite, const orvanta::config::Section& tree,
                                const std::wstring& definitionPath, std::wstring& message) noexcept;

// A string setting of a section: the record's first string value; null when absent.
const std::u16string* StringSetting(const orvanta::config::Section& section, std::u16string_view name) noexcept;

}  // namespace orv
