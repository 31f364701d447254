// The two entry points winmm looks up by their plain names. On 32-bit x86 a
// stdcall function would be named "_DriverProc@20"; the assembler names
// below keep the decoration off, so the .def file exports them as they stand
// on both architectures.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#if defined(__i386__)
#define TSL_PLAIN_NAME(name) __asm__("_" #name)
#else
#define TSL_PLAIN_NAME(name) __asm__(#name)
#endif

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2)
    TSL_PLAIN_NAME(DriverProc);
extern "C" DWORD WINAPI modMessage(UINT device, UINT message, DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2)
    TSL_PLAIN_NAME(modMessage);
