// The class table of OrvantaVessa, in registration order, with the free-threaded twin of
// each pair right after its class (same creator), and the lookup of composite classes
// registered at run time.
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/config/ConfigFile.h"
#include "components/config/TypeConvertor.h"
#include "components/config/UtilStringList.h"
#include "components/config/VarDictionary.h"
#include "components/module/Module.h"
#include "components/module/Raii.h"
#include "components/module/VessaClasses.h"
#include "components/module/VessaCreator.h"
#include "components/script/ScpAggregate.h"
#include "components/script/ScpMan.h"
#include "components/script/VaryDisp.h"
#include "components/script/VaryDispCreator.h"
#include "components/storage/SFBinaryData.h"
#include "components/storage/SFDirStorage.h"
#include "components/storage/SFDrive.h"
#include "components/storage/SFField.h"
#include "components/storage/SFFileStream.h"
#include "components/storage/SFFilter.h"
#include "components/storage/SFMain.h"
#include "components/storage/SFRecord.h"
#include "components/storage/SFStorage.h"
#include "components/storage/SFStream.h"
#include "components/threads/COMApartment.h"
#include "components/threads/COMScriptThread.h"
#include "components/threads/COMSleeper.h"
#include "components/threads/COMThread.h"
#include "components/threads/CustomLock.h"
#include "components/threads/SynchEvent.h"
#include "components/threads/SynchMutex.h"
#include "components/threads/SynchSemaphore.h"

namespace orv {

CompositeCreator g_compositeCreator = &ServeCompositeClass;

namespace {

// {clsid, reporting clsid, registry script, creator, aggregatable, cached factory}
ClassEntry g_classes[] = {
    {&CLSID_VarDictionary, &CLSID_VarDictionary, 202, &VarDictionary::Create, false, nullptr},  // VarDictionary
    {&CLSID_VarDictionaryFree, &CLSID_VarDictionary, 0, &VarDictionary::Create, false, nullptr},
    {&CLSID_ScpMan, &CLSID_ScpMan, 203, &ScpMan::Create, true, nullptr},  // ScpMan
    {&CLSID_ScpManFree, &CLSID_ScpMan, 0, &ScpMan::Create, true, nullptr},
    {&CLSID_ScpAggregate, &CLSID_ScpAggregate, 220, &ScpAggregate::Create, false, nullptr},  // ScpAggregate
    {&CLSID_ScpAggregateFree, &CLSID_ScpAggregate, 0, &ScpAggregate::Create, false, nullptr},
    {&CLSID_SFFileStream, &CLSID_SFFileStream, 205, &SFFileStream::Create, true, nullptr},  // SFFileStream
    {&CLSID_SFFileStreamFree, &CLSID_SFFileStream, 0, &SFFileStream::Create, true, nullptr},
    {&CLSID_SFDirStorage, &CLSID_SFDirStorage, 204, &SFDirStorage::Create, true, nullptr},  // SFDirStorage
    {&CLSID_SFDirStorageFree, &CLSID_SFDirStorage, 0, &SFDirStorage::Create, true, nullptr},
    {nullptr, &CLSID_EnumDirSTG, 206, nullptr, false, nullptr},  // EnumDirSTG
    {&CLSID_SFDrive, &CLSID_SFDrive, 208, &SFDrive::Create, true, nullptr},  // SFDrive
    {&CLSID_SFDriveFree, &CLSID_SFDrive, 0, &SFDrive::Create, true, nullptr},
    {&CLSID_SFMain, &CLSID_SFMain, 210, &SFMain::Create, true, nullptr},  // SFMain
    {&CLSID_SFMainFree, &CLSID_SFMain, 0, &SFMain::Create, true, nullptr},
    {&CLSID_SFStorage, &CLSID_SFStorage, 211, &SFStorage::Create, false, nullptr},  // SFStorage
    {&CLSID_SFStorageFree, &CLSID_SFStorage, 0, &SFStorage::Create, false, nullptr},
    {&CLSID_SFStream, &CLSID_SFStream, 207, &SFStream::Create, false, nullptr},  // SFStream
    {&CLSID_SFStreamFree, &CLSID_SFStream, 0, &SFStream::Create, false, nullptr},
    {nullptr, &CLSID_SFInfo, 209, nullptr, false, nullptr},  // SFInfo
    {&CLSID_UtilStringList, &CLSID_UtilStringList, 212, &UtilStringList::Create, false, nullptr},  // UtilStringList
    {&CLSID_UtilStringListFree, &CLSID_UtilStringList, 0, &UtilStringList::Create, false, nullptr},
    {&CLSID_CustomLock, &CLSID_CustomLock, 213, &CustomLock::Create, true, nullptr},  // CustomLock
    {&CLSID_ConfigFile, &CLSID_ConfigFile, 214, &ConfigFile::Create, true, nullptr},  // ConfigFile
    {&CLSID_ConfigFileFree, &CLSID_ConfigFile, 0, &ConfigFile::Create, true, nullptr},
    {&CLSID_SFField, &CLSID_SFField, 217, &SFField::Create, true, nullptr},  // SFField
    {&CLSID_SFFieldFree, &CLSID_SFField, 0, &SFField::Create, true, nullptr},
    {&CLSID_SFRecord, &CLSID_SFRecord, 219, &SFRecord::Create, true, nullptr},  // SFRecord
    {&CLSID_SFRecordFree, &CLSID_SFRecord, 0, &SFRecord::Create, true, nullptr},
    {&CLSID_SFFilter, &CLSID_SFFilter, 218, &SFFilter::Create, true, nullptr},  // SFFilter
    {&CLSID_SFFilterFree, &CLSID_SFFilter, 0, &SFFilter::Create, true, nullptr},
    {&CLSID_TypeConvertor, &CLSID_TypeConvertor, 216, &TypeConvertor::Create, true, nullptr},  // TypeConvertor
    {&CLSID_TypeConvertorFree, &CLSID_TypeConvertor, 0, &TypeConvertor::Create, true, nullptr},
    {&CLSID_VaryDisp, &CLSID_VaryDisp, 227, &VaryDisp::Create, true, nullptr},  // VaryDisp
    {nullptr, &CLSID_VaryDispImp, 221, nullptr, false, nullptr},  // VaryDispImp
    {nullptr, &CLSID_VaryDispCtx, 229, nullptr, false, nullptr},  // VaryDispCtx
    {&CLSID_VaryDispCreator, &CLSID_VaryDispCreator, 228, &VaryDispCreator::Create, true, nullptr},  // VaryDispCreator
    {nullptr, &CLSID_ScpHostBufDispatch, 226, nullptr, false, nullptr},  // ScpHostBufDispatch
    {&CLSID_VessaCreator, &CLSID_VessaCreator, 225, &VessaCreator::Create, true, nullptr},  // VessaCreator
    {&CLSID_VessaCreatorFree, &CLSID_VessaCreator, 0, &VessaCreator::Create, true, nullptr},
    {&CLSID_COMApartment, &CLSID_COMApartment, 222, &COMApartment::Create, true, nullptr},  // COMApartment
    {&CLSID_COMApartmentFree, &CLSID_COMApartment, 0, &COMApartment::Create, true, nullptr},
    {&CLSID_COMThread, &CLSID_COMThread, 223, &COMThread::Create, true, nullptr},  // COMThread
    {&CLSID_COMThreadFree, &CLSID_COMThread, 0, &COMThread::Create, true, nullptr},
    {&CLSID_SFBinaryData, &CLSID_SFBinaryData, 230, &SFBinaryData::Create, true, nullptr},  // SFBinaryData
    {&CLSID_SFBinaryDataFree, &CLSID_SFBinaryData, 0, &SFBinaryData::Create, true, nullptr},
    {&CLSID_COMScriptThread, &CLSID_COMScriptThread, 233, &COMScriptThread::Create, true, nullptr},  // COMScriptThread
    {&CLSID_COMSleeper, &CLSID_COMSleeper, 10212, &COMSleeper::Create, true, nullptr},  // COMSleeper
    {&CLSID_SynchEvent, &CLSID_SynchEvent, 10214, &SynchEvent::CreateInstance, true, nullptr},  // SynchEvent
    {&CLSID_SynchMutex, &CLSID_SynchMutex, 10215, &SynchMutex::CreateInstance, true, nullptr},  // SynchMutex
    {&CLSID_SynchSemaphore, &CLSID_SynchSemaphore, 10213, &SynchSemaphore::CreateInstance, true, nullptr},  // SynchSemaphore
};

HRESULT OpenCompositeKey(const std::wstring& guid, UniqueRegKey& key) {
  const std::wstring user = L"SOFTWARE\\Classes\\CLSID\\" + guid;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, user.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) return S_OK;
  const std::wstring root = L"CLSID\\" + guid;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, root.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) return S_OK;
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServeComposite(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
  CompositeRegistration reg;
  const HRESULT hr = ReadCompositeRegistration(clsid, reg);
  if (FAILED(hr)) return hr;
  if (!g_compositeCreator) return CLASS_E_CLASSNOTAVAILABLE;
  return g_compositeCreator(reg, riid, ppv);
}

}  // namespace

HRESULT ReadCompositeRegistration(REFCLSID clsid, CompositeRegistration& out) noexcept {
  try {
    wchar_t guid[40] = {};
    if (!StringFromGUID2(clsid, guid, 40)) return CLASS_E_CLASSNOTAVAILABLE;
    UniqueRegKey classKey, server;
    if (FAILED(OpenCompositeKey(guid, classKey))) return CLASS_E_CLASSNOTAVAILABLE;
    if (RegOpenKeyExW(classKey.get(), L"InprocServer32", 0, KEY_READ, server.put()) != ERROR_SUCCESS)
      return CLASS_E_CLASSNOTAVAILABLE;
    wchar_t path[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH * sizeof(wchar_t);
    if (RegQueryValueExW(server.get(), L"CompositeDefinitionFile", nullptr, &type,
                         reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || path[0] == L'\0')
      return CLASS_E_CLASSNOTAVAILABLE;
    out.definitionFile = path;
    DWORD format = 0;
    size = sizeof(format);
    if (RegQueryValueExW(server.get(), L"CompositeDefinitionFileFormat", nullptr, &type,
                         reinterpret_cast<BYTE*>(&format), &size) != ERROR_SUCCESS || type != REG_DWORD)
      format = 0;
    out.format = format;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

ModuleDescription& ThisModule() {
  static ModuleDescription description{g_classes, sizeof(g_classes) / sizeof(g_classes[0]), ServeComposite};
  return description;
}

}  // namespace orv
