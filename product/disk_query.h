// Disk device queries shared by both machine identifiers, through the machine platform table.
#pragma once

#include <windows.h>

#include <string>

constexpr DWORD kSmartGetVersion = 0x00074080;
constexpr DWORD kSmartRcvDriveData = 0x0007C088;
constexpr DWORD kIoctlScsiMiniport = 0x0004D008;
constexpr DWORD kIoctlStorageQueryProperty = 0x002D1400;
// Drives (and SCSI ports) asked: numbers 0 to 15.
constexpr int kMaxDrives = 16;
// SENDCMDOUTPARAMS: the IDENTIFY data follows a 16-byte header.
constexpr size_t kIdentifyAnswerOffset = 16;

// "\\.\PhysicalDrive<number>".
std::wstring PhysicalDrivePath(int number);

// SMART_GET_VERSION into the 24-byte GETVERSIONINPARAMS answer (zero-filled first).
bool SmartGetVersion(HANDLE device, BYTE answer[24]);

// IOCTL_STORAGE_QUERY_PROPERTY, standard query of the device property, into answer
// (answerSize bytes, zero-filled first).
bool QueryStorageDescriptor(HANDLE device, BYTE* answer, DWORD answerSize);
