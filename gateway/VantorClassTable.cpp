// The class table of Vantor: the gateway class alone, served from the table only.
#include <windows.h>
#include <ole2.h>

#include "components/module/Module.h"

namespace orv {
namespace {

// {03797ADA-8CCF-4533-B623-2C5DE06B29C7}; the gateway's IDL takes it over with its coclass.
constexpr CLSID kClsidVantorway = {0x03797ada, 0x8ccf, 0x4533, {0xb6, 0x23, 0x2c, 0x5d, 0xe0, 0x6b, 0x29, 0xc7}};

ClassEntry g_classes[] = {
    {&kClsidVantorway, &kClsidVantorway, 101, nullptr, true, nullptr},
};

}  // namespace

ModuleDescription& ThisModule() {
  static ModuleDescription description{g_classes, 1, nullptr};
  return description;
}

}  // namespace orv
