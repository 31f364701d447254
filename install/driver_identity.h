// What Windows is told about the driver library: its file name, the MEDIA
// device that stands for it, and the texts that device carries.
#pragma once

#include <windows.h>

inline constexpr wchar_t kDriverFileName[] = L"Tessaline.dll";
// The Windows audio driver: a slot holding it (or nothing) is free.
inline constexpr wchar_t kFreeSlotValue[] = L"wdmaud.drv";
inline constexpr wchar_t kDrivers32Key[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

inline constexpr wchar_t kMediaClassName[] = L"MEDIA";
// {4d36e96c-e325-11ce-bfc1-08002be10318}
inline constexpr GUID kMediaClassGuid = {0x4d36e96c, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
inline constexpr wchar_t kDeviceHardwareId[] = L"{5e18df6e-0791-46ff-aaa7-1cf779ac3718}";
inline constexpr wchar_t kDeviceName[] = L"Ambrella Tessaline";
inline constexpr wchar_t kDeviceDescription[] = L"Ambrella Tessaline - 2.14.1";
inline constexpr wchar_t kDeviceMaker[] = L"Ambrella";
