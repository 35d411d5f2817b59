// Identity of the viewer ActiveX control in DvrOcx.ocx: its class id, type
// library, dispatch interfaces and the DISPIDs of its members. This is the
// only thing the control shares with the program that hosts it.
#pragma once

// The class id as text: its registry spelling (keys are case-insensitive) and
// how the resource scripts name the control in dialog templates.
#define DVROCX_CLSID_TEXT "{9B479D7B-916A-45B0-B042-D42865A60E21}"

#include <windows.h>
#include <oaidl.h>

// coclass DvrOcx
inline constexpr GUID CLSID_DvrOcx = {0x9b479d7b, 0x916a, 0x45b0, {0xb0, 0x42, 0xd4, 0x28, 0x65, 0xa6, 0x0e, 0x21}};
// library DvrOcxLib, version 1.0
inline constexpr GUID LIBID_DvrOcxLib = {0x89e04b22, 0x0358, 0x4fb2, {0xb4, 0x8f, 0x0b, 0x18, 0x13, 0x35, 0x43, 0xa4}};
inline constexpr WORD DvrOcxLib_VersionMajor = 1;
inline constexpr WORD DvrOcxLib_VersionMinor = 0;
// dispinterface _DDvrOcx: the control's properties and methods
inline constexpr GUID DIID__DDvrOcx = {0x057be205, 0xfdf3, 0x469c, {0x83, 0x28, 0x23, 0x7a, 0x54, 0x8f, 0xef, 0x1a}};
// dispinterface _DDvrOcxEvents: the event source; it fires no events
inline constexpr GUID DIID__DDvrOcxEvents = {
    0x3982a319, 0xe9f7, 0x4c41, {0xbf, 0x43, 0xba, 0x76, 0xee, 0x2a, 0x8b, 0x78}};

inline constexpr char kDvrOcxClsidText[] = DVROCX_CLSID_TEXT;
inline constexpr char kDvrOcxProgId[] = "DVROCX.DvrOcxCtrl.1";

// Members of _DDvrOcx.
inline constexpr DISPID DISPID_DVROCX_DEVICEIP = 1;    // property BSTR deviceIP
inline constexpr DISPID DISPID_DVROCX_DEVICEPORT = 2;  // property long DevicePort
// long SetDeviceIPandPort(BSTR deviceIP, short DevicePort)
inline constexpr DISPID DISPID_DVROCX_SETDEVICEIPANDPORT = 3;
inline constexpr DISPID DISPID_DVROCX_ABOUTBOX = -552;  // void AboutBox(), DISPID_ABOUTBOX
