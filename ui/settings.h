// The settings store: the operator's last choices, kept as string values of one registry key
// under HKEY_LOCAL_MACHINE. Each setting is written the moment it changes and read at start-up.
#pragma once

#include "platform/kernel/text.h"

struct DownloadType;

inline constexpr char SETTINGS_KEY_PATH[] = "SOFTWARE\\KORVANT\\DOWNLOADER";
// Given to the key when the first write creates it.
inline constexpr char SETTINGS_KEY_CLASS[] = "Korvant Integrated Downloader";

// The values of the key. Their names are what settings files already hold.
inline constexpr char kPortValue[] = "VOD_PORT";                   // the COM port number
inline constexpr char kDownloadTypeValue[] = "DLOAD_TYPE_TEST";    // the download type's stored value
inline constexpr char kCodeFolderValue[] = "VOD_PHONE_CODE_PATH";  // the folder of the last code image
inline constexpr char kFontFolderValue[] = "VOD_PHONE_FONT_PATH";  // the folder of the last font image

// Empty when the key or the value cannot be read.
CString ReadRegString(const CString& name);
bool WriteRegString(const CString& name, const CString& value);
// An empty or missing value gives `defaultValue`; other texts are read as atol reads them, so a
// text that does not begin with a number gives 0.
int ReadRegInt(const CString& name, int defaultValue);
void WriteRegInt(const CString& name, int value);

// The port of the last session, COM1 when none is stored. A stored number that is no port is
// not used either: `why` then says so, and is empty otherwise.
int StoredPortNumber(CString* why);
// The download type of the last session, the first type when none is stored; null when the
// stored value is none of the types.
const DownloadType* StoredDownloadType();
