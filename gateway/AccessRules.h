// The rules that decide whether a page may use a profile of the gateway's configuration:
// the page's protocol, the address entries that admit a page, the pass code, and the
// verdict for one profile. Pure functions over the configuration tree, so that every
// combination of profile and page can be judged without a browser or a dialog.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/ConfigTree.h"

namespace orv::gateway {

using orvanta::config::Record;
using orvanta::config::Section;

// The text before the first ":" of a page address; empty when there is no colon.
std::u16string_view PageProtocol(std::u16string_view pageUrl) noexcept;

// Whole-length comparison ignoring case: a NUL inside either text is a character like
// any other, never an end.
bool TextsEqualIgnoringCase(std::u16string_view a, std::u16string_view b) noexcept;

// An address entry admits a page when the entry is a prefix of the page address
// (ignoring case). An entry that ends inside the host part ("//" and no "/" after it)
// must also end at the host's boundary: the address ends there or goes on with "/",
// "?", "#", or ":" and a port (digits only) followed by the end, "/", "?" or "#". An
// empty entry admits nothing.
bool UrlEntryAdmits(std::u16string_view entry, std::u16string_view pageUrl) noexcept;

// A protocol entry admits a page whose protocol equals it (ignoring case); an empty
// entry admits nothing.
bool ProtocolEntryAdmits(std::u16string_view entry, std::u16string_view protocol) noexcept;

// A record's first value as a whole number: numeric kinds as they are (floating values
// only when whole), a string only when it is an optional sign and decimal digits.
// Nothing when the record has no value or its first value is no number.
std::optional<std::int64_t> RecordNumber(const Record& record) noexcept;

// The first string value of a profile record; empty when there is none.
std::u16string_view ProfileText(const Section& profile, std::u16string_view record) noexcept;

// A number record of a profile or class entry: true when it holds a non-zero number.
bool ProfileFlag(const Section& section, std::u16string_view record) noexcept;

// What the profile check decides before any dialog is shown.
struct AccessVerdict {
  enum class Kind {
    Admit,        // the pass code is right: the profile becomes active
    AskUser,      // the user decides in the confirmation dialog (denied: 10105)
    Refuse,       // refused with `message`, after the denied dialog when `deniedDialog`
    PageUnknown,  // the method needs the page address, which the site did not give
  };
  Kind kind = Kind::Refuse;
  unsigned message = 0;
  bool deniedDialog = false;

  bool operator==(const AccessVerdict&) const = default;
};

// The verdict for a profile, the page address (none when it could not be obtained)
// and the pass code the page gave. A list without a non-empty text entry is a
// configuration error.
AccessVerdict JudgeAccess(const Section& profile, std::optional<std::u16string_view> pageUrl,
                          std::u16string_view passCode);

}  // namespace orv::gateway
