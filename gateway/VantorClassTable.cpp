// The class table of Vantor: the gateway class alone, served from the table only.
#include <windows.h>
#include <ole2.h>

#include "Vantor.h"
#include "components/module/Module.h"
#include "gateway/Vantorway.h"

namespace orv {
namespace {

ClassEntry g_classes[] = {
    {&CLSID_Vantorway, &CLSID_Vantorway, 101, &Vantorway::Create, true, nullptr},
};

}  // namespace

ModuleDescription& ThisModule() {
  static ModuleDescription description{g_classes, 1, nullptr};
  return description;
}

}  // namespace orv
