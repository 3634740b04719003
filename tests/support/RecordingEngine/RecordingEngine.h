// The recording test engine (recengine.dll): an Active Scripting engine registered as
// "OrvantaTest.RecordingEngine" that logs every call made to it, can be told to fail
// calls, and runs a small command language instead of a script language.
//
// Log: one line per call, "<engine>:<Call>(<args>)", engines numbered from 1 in creation
// order; an injected failure appends " => 0xXXXXXXXX". Callbacks into the site are logged
// by the commands that make them.
//
// Commands (lines separated by ';' or new lines), run when the engine is started, or at
// once when code is parsed into a started engine or as an expression:
//   define NAME                          the script's global object answers NAME
//   error SCODE LINE CHAR SRC|DESC|TEXT  OnScriptError with that error (empty part: none);
//                                        the position's context is the code's cookie
//   deferred SCODE DESC                  OnScriptError whose exception is filled in late
//   throw SCODE DESC                     fail the parse through its EXCEPINFO (no callback)
//   item NAME MASK                       GetItemInfo; logs "item(NAME,MASK)=0xHR unk=U ti=T"
//   call NAME MEMBER [ARG]               GetItemInfo, then invoke MEMBER on the item;
//                                        logs "call(NAME.MEMBER)=0xHR VALUE"
//   result TEXT                          the value of an expression (default: the code)
//   later COMMAND                        run COMMAND at the next start or connect
#pragma once
#include <windows.h>
#include <oleauto.h>

#define ORVANTA_RECENGINE_PROGID L"OrvantaTest.RecordingEngine"

// {EC0B193F-EF5F-4FA4-82B9-7D721747D391}
static const CLSID CLSID_RecordingEngine = {
    0xEC0B193F, 0xEF5F, 0x4FA4, {0x82, 0xB9, 0x7D, 0x72, 0x17, 0x47, 0xD3, 0x91}};

extern "C" {
// Clears the log, the failures and the probe; engine numbers start again at 1.
typedef void(WINAPI* RecEngineResetFn)();
// Clears the log only.
typedef void(WINAPI* RecEngineClearLogFn)();
// The log so far, lines joined with '\n' (caller frees).
typedef HRESULT(WINAPI* RecEngineLogFn)(BSTR* log);
// Every later call whose log text (without the engine number) starts with `prefix`
// returns `hr`; hr 0 removes the rule.
typedef void(WINAPI* RecEngineFailFn)(LPCWSTR prefix, HRESULT hr);
// On entering a call whose log text starts with `prefix`, checks from another thread
// whether `manager` answers Count (DISPID 3) within a second: logs "probe:free" or
// "probe:held". Null clears the probe.
typedef void(WINAPI* RecEngineProbeFn)(LPCWSTR prefix, IDispatch* manager);
}
