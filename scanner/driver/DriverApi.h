#pragma once
// The exports of tq21udrv.so as a scanning host sees them (extern "C").
// Every call returns a public status (0 success, 0xC0000000 failure, 0x40000065
// and 0x80000066 passed through) except GetData (lines delivered, or a
// negative status), GetCapabilityUnits (units, or -9), GetDeviceTabNames,
// HasUserInterface and CreateUserInterface.
//
// Road of a scan: StartDriver, Open, capability calls, StartScan, GetData
// until it returns fewer lines than asked, StopScan, Close, StopDriver.
// GetLastErrorInfo describes the last failure.

#include <cstdint>

#include "Capabilities.h"
#include "Driver.h"
#include "DrvErrorInfo.h"

extern "C" {
using qlon::scanner::DrvErrorInfo;
using qlon::scanner::NotifyCallback;
using qlon::scanner::ScanInfo;

typedef uint32_t (*StartDriverFn)(const char* keyName, NotifyCallback notify);
typedef uint32_t (*VoidFn)();  // StopDriver, Open, Close, Reset, StopScan
typedef uint32_t (*GetScanInfoFn)(ScanInfo* info);
typedef uint32_t (*GetCapabilityListFn)(const int32_t** ids, int32_t* count);
typedef int32_t (*GetCapabilityUnitsFn)(int32_t id);
typedef uint32_t (*GetCapabilityFlagsFn)(int32_t id, int32_t* flags);
typedef uint32_t (*GetCapabilityFn)(int32_t id, int32_t* kind, void** value);
typedef uint32_t (*GetCapabilityValueFn)(int32_t id, int32_t* value);
typedef uint32_t (*SetCapabilityFn)(int32_t id, intptr_t value);  // a frame: pointer to int32_t[4]
typedef uint32_t (*StartScanFn)(int32_t noFilter);
typedef int32_t (*GetDataFn)(uint8_t* buffer, int32_t length);
typedef uint32_t (*DeviceControlFn)(int32_t code, const void* in, int32_t inLength, void* out,
                                    int32_t outLength);
typedef uint32_t (*GetNameFn)(char* buffer, int32_t* length);  // GetDeviceName, GetDeviceInternalName
typedef const char* const* (*GetDeviceTabNamesFn)();
typedef int32_t (*HasUserInterfaceFn)();
typedef void* (*CreateUserInterfaceFn)(void* parent, void* scannerInterface);
typedef uint32_t (*GetLastErrorInfoFn)(DrvErrorInfo* info);
}
