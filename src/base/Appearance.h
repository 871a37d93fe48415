#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/IniFile.h"

// The appearance file: look and placement of the windows, one display
// option, and the pending changes the settings store applies at the daily
// reset. Colours are Windows colour values 0x00BBGGRR, as stored.
namespace tw {

// The shared file object, DataFolder + "tallyward.ini", opened on first use.
TIniFile& GetIniFile();
// Forgets the file object and every cached value (tests, and a new data folder).
void ResetAppearance();

int32_t GetBackgroundColor();
void SetBackgroundColor(int32_t value);
std::string GetBackgroundImage();
void SetBackgroundImage(const std::string& path);
int32_t GetTextColor();
void SetTextColor(int32_t value);
int32_t GetTransparency();
void SetTransparency(int32_t value);
bool GetAutohide();
void SetAutohide(bool value);
int32_t GetAlign();
void SetAlign(int32_t value);
int32_t GetAlignVertical();
void SetAlignVertical(int32_t value);
bool GetShow5MinButton();

// The background picture's file, or empty when "Image" names no existing
// file. (The decoded picture comes with the window layer.)
std::string GetBackgroundPicturePath();

// Name=path lines, one per picture in ProgramFolder + "Skins/" and below,
// sorted by name; later files of the same name replace earlier ones.
using NameValueList = std::vector<std::pair<std::string, std::string>>;
void GetSkinList(NameValueList& list);

}  // namespace tw
