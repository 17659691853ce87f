// The settings store: the operator's last choices, kept as string values of one registry key
// under HKEY_LOCAL_MACHINE. Each setting is written the moment it changes and read at start-up.
#pragma once

#include "platform/kernel/text.h"

inline constexpr char SETTINGS_KEY_PATH[] = "SOFTWARE\\KORVANT\\DOWNLOADER";
// Given to the key when the first write creates it.
inline constexpr char SETTINGS_KEY_CLASS[] = "Korvant Integrated Downloader";

// Empty when the key or the value cannot be read.
CString ReadRegString(const CString& name);
bool WriteRegString(const CString& name, const CString& value);
// An empty or missing value gives `defaultValue`; other texts are read as atol reads them, so a
// text that does not begin with a number gives 0.
int ReadRegInt(const CString& name, int defaultValue);
void WriteRegInt(const CString& name, int value);
