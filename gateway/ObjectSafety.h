// The object-safety interface with the IID declaration that mingw's header lacks, so that
// it can be named in interface lists and queries.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <objsafe.h>

__CRT_UUID_DECL(IObjectSafety, 0xcb5bdc81, 0x93c1, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64)
