// Command-line splitting and the parameter tree of the script hosts.
#include "host/Parameters.h"

#include "common/CommandLine.h"

namespace orvanta::host {

namespace {

const char16_t* SectionName(ParamSection which) {
  switch (which) {
    case ParamSection::Host: return u"HOST";
    case ParamSection::Script: return u"SCRIPT";
    case ParamSection::Runtime: return u"RUNTIME";
  }
  return u"";
}

}  // namespace

// On Windows wchar_t holds UTF-16 code units, as char16_t does.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
  std::vector<std::wstring> args;
  for (const std::u16string& arg : splitCommandLine(ToU16(line))) args.push_back(ToWide(arg));
  return args;
}

std::wstring_view SkipProgramName(std::wstring_view commandLine) {
  const std::u16string_view rest =
      skipProgramName(std::u16string_view(reinterpret_cast<const char16_t*>(commandLine.data()), commandLine.size()));
  return commandLine.substr(commandLine.size() - rest.size());
}

Parameters::Parameters() {
  for (ParamSection s : {ParamSection::Host, ParamSection::Script, ParamSection::Runtime})
    root_.getOrCreateSection(SectionName(s))->getOrCreateRecord(u"");
}

config::Record& Parameters::values(ParamSection which) {
  return *root_.getOrCreateSection(SectionName(which))->getOrCreateRecord(u"");
}

const config::Record& Parameters::values(ParamSection which) const noexcept {
  return root_.section(SectionName(which)).record(u"");
}

void Parameters::AddArguments(const std::vector<std::wstring>& args) {
  bool hostPart = true;
  for (const std::wstring& arg : args) {
    if (!hostPart) {
      Append(ParamSection::Script, arg);
    } else if (arg[0] == L'-' || arg[0] == L'/') {
      const std::wstring_view option = std::wstring_view(arg).substr(1);
      Set(ParamSection::Host, option, option);
      if (equalsIgnoreCase(ToU16(option), u"END")) hostPart = false;
    } else {
      Set(ParamSection::Host, L"RUN", arg);
      hostPart = false;
    }
  }
}

std::size_t Parameters::Count(ParamSection which) const noexcept { return values(which).count(); }

const std::u16string* Parameters::At(ParamSection which, std::size_t position) const noexcept {
  return values(which).at(position).text();
}

const std::u16string* Parameters::Find(ParamSection which, std::wstring_view name) const noexcept {
  const config::Value* v = values(which).findNamed(ToU16(name));
  return v ? v->text() : nullptr;
}

void Parameters::Set(ParamSection which, std::wstring_view name, std::wstring_view value) {
  config::Value v = config::Value::ofString(ToU16(value)).named(ToU16(name));
  config::Record& record = values(which);
  if (config::Value* existing = record.findNamed(ToU16(name)))
    *existing = std::move(v);
  else
    record.append(std::move(v));
}

void Parameters::Append(ParamSection which, std::wstring_view value) {
  values(which).append(config::Value::ofString(ToU16(value)));
}

}  // namespace orvanta::host
