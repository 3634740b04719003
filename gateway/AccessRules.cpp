// Judging a page against a profile: protocol and address entries, pass code, method.
#include "gateway/AccessRules.h"

#include <cmath>

#include "common/TextUtil.h"

namespace orv::gateway {

namespace {

using orvanta::config::Value;
using orvanta::config::ValueKind;

constexpr unsigned kWrongPassCode = 10103;
constexpr unsigned kUnsupportedMethod = 10104;
constexpr unsigned kConfigurationError = 10112;
constexpr unsigned kPageDisallowed = 10113;

bool IsDigit(char16_t c) noexcept { return c >= u'0' && c <= u'9'; }

bool EndsAddressPart(char16_t c) noexcept { return c == u'/' || c == u'?' || c == u'#'; }

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) noexcept {
  return text.size() >= prefix.size() && TextsEqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// "//" with no "/" after it: the entry stops in the host name or its port.
bool EndsInsideHost(std::u16string_view entry) noexcept {
  const size_t slashes = entry.find(u"//");
  return slashes != std::u16string_view::npos && entry.find(u'/', slashes + 2) == std::u16string_view::npos;
}

// What follows a host: nothing, a path, query or fragment, or a port and then one of those.
bool AtHostBoundary(std::u16string_view rest) noexcept {
  if (rest.empty() || EndsAddressPart(rest[0])) return true;
  if (rest[0] != u':') return false;
  size_t digits = 1;
  while (digits < rest.size() && IsDigit(rest[digits])) ++digits;
  if (digits == 1) return false;
  return digits == rest.size() || EndsAddressPart(rest[digits]);
}

std::optional<std::int64_t> WholeNumberText(std::u16string_view text) noexcept {
  size_t at = 0;
  const bool negative = !text.empty() && text[0] == u'-';
  if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) at = 1;
  if (at == text.size() || text.size() - at > 18) return std::nullopt;  // 18 digits never overflow
  std::int64_t n = 0;
  for (; at < text.size(); ++at) {
    if (!IsDigit(text[at])) return std::nullopt;
    n = n * 10 + (text[at] - u'0');
  }
  return negative ? -n : n;
}

std::optional<std::int64_t> WholeNumber(double d) noexcept {
  if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.0e15) return std::nullopt;
  return static_cast<std::int64_t>(d);
}

AccessVerdict Refuse(unsigned message, bool deniedDialog = true) noexcept {
  return {AccessVerdict::Kind::Refuse, message, deniedDialog};
}

// The pass-code method: the page's code must equal "Password" (ignoring case). A profile
// without a password admits nobody rather than an empty code.
AccessVerdict CheckPassCode(const Section& profile, std::u16string_view passCode) noexcept {
  const std::u16string_view password = ProfileText(profile, u"Password");
  if (password.empty()) return Refuse(kConfigurationError);
  if (!TextsEqualIgnoringCase(password, passCode)) return Refuse(kWrongPassCode);
  return {AccessVerdict::Kind::Admit};
}

// A list counts as empty unless it holds a non-empty text: "(string)AllowedURL=" alone is
// the empty list of the text format, which has no record without values.
bool HasEntries(const Record& list) noexcept {
  for (const Value& entry : list.values())
    if (const std::u16string* text = entry.text(); text && !text->empty()) return true;
  return false;
}

// The first entry of the list that admits the page, walked in order.
template <typename Admits>
bool AnyEntryAdmits(const Record& list, Admits admits) {
  for (const Value& entry : list.values())
    if (const std::u16string* text = entry.text(); text && admits(std::u16string_view(*text))) return true;
  return false;
}

}  // namespace

std::u16string_view PageProtocol(std::u16string_view pageUrl) noexcept {
  const size_t colon = pageUrl.find(u':');
  return colon == std::u16string_view::npos ? std::u16string_view() : pageUrl.substr(0, colon);
}

bool TextsEqualIgnoringCase(std::u16string_view a, std::u16string_view b) noexcept {
  return orvanta::equalsIgnoreCase(a, b);
}

bool UrlEntryAdmits(std::u16string_view entry, std::u16string_view pageUrl) noexcept {
  if (entry.empty() || !StartsWithIgnoringCase(pageUrl, entry)) return false;
  return !EndsInsideHost(entry) || AtHostBoundary(pageUrl.substr(entry.size()));
}

bool ProtocolEntryAdmits(std::u16string_view entry, std::u16string_view protocol) noexcept {
  return !entry.empty() && TextsEqualIgnoringCase(entry, protocol);
}

std::optional<std::int64_t> RecordNumber(const Record& record) noexcept {
  if (record.count() == 0) return std::nullopt;
  const Value& first = record.at(1);
  switch (first.kind()) {
    case ValueKind::Int: return first.intValue();
    case ValueKind::UInt: return first.uintValue();
    case ValueKind::Int64: return first.int64Value();
    case ValueKind::Float: return WholeNumber(first.floatValue());
    case ValueKind::Double: return WholeNumber(first.doubleValue());
    case ValueKind::String:
    case ValueKind::WideString: return WholeNumberText(*first.text());
    default: return std::nullopt;
  }
}

std::u16string_view ProfileText(const Section& profile, std::u16string_view record) noexcept {
  const std::u16string* text = profile.record(record).firstString();
  return text ? std::u16string_view(*text) : std::u16string_view();
}

bool ProfileFlag(const Section& section, std::u16string_view record) noexcept {
  const std::optional<std::int64_t> n = RecordNumber(section.record(record));
  return n && *n != 0;
}

AccessVerdict JudgeAccess(const Section& profile, std::optional<std::u16string_view> pageUrl,
                          std::u16string_view passCode) {
  const Record& access = profile.record(u"Access");
  std::int64_t method = 0;  // missing: the user is asked
  if (access.count() != 0) {
    const std::optional<std::int64_t> n = RecordNumber(access);
    if (!n) return Refuse(kUnsupportedMethod, false);
    method = *n;
  }
  if (method == 0) return {AccessVerdict::Kind::AskUser};
  if (method == 1) return CheckPassCode(profile, passCode);
  if (method < 2 || method > 5) return Refuse(kUnsupportedMethod, false);

  if (!pageUrl) return {AccessVerdict::Kind::PageUnknown};
  const bool byProtocol = method <= 3;
  const Record& list = profile.record(byProtocol ? u"AllowedProtocols" : u"AllowedURL");
  if (!HasEntries(list)) return Refuse(kConfigurationError);
  const bool admitted =
      byProtocol ? AnyEntryAdmits(list, [protocol = PageProtocol(*pageUrl)](std::u16string_view entry) {
                     return ProtocolEntryAdmits(entry, protocol);
                   })
                 : AnyEntryAdmits(list, [url = *pageUrl](std::u16string_view entry) { return UrlEntryAdmits(entry, url); });
  if (!admitted) return Refuse(kPageDisallowed);
  if (method == 2 || method == 4) return {AccessVerdict::Kind::AskUser};
  return CheckPassCode(profile, passCode);
}

}  // namespace orv::gateway
