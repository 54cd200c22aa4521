// The languages of the program itself: its resource table (generated at
// build time from resources/lang), the process-wide language manager, and
// what the main window does with them at start-up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lang/LangResources.h"
#include "lang/LanguageController.h"
#include "lang/LanguageManager.h"

namespace tessor::lang {

// The program's own resources: "XELANG_CONSTS", "LNG_GERMAN", "LNG_ROMANIA",
// "TFORM1_LANGDATA", "TFORM1_IGNORELIST" and "TFORM1_STORELIST".
const TResourceModule& ProgramModule();

// The process-wide manager, made on first use with the program's constants.
TLanguageManager& LangManager();
// The text of a constant in the current language (ELangError when unknown).
std::u16string GetLangConstant(std::string_view name);

// Start-up: "LNG_ENGLISH" for 1033 (ignored, English is built in),
// "LNG_GERMAN" for 1031 and "LNG_ROMANIA" for 1048, from the program.
void RegisterProgramLanguages(TLanguageManager& manager);
// Choosing entry `index` of the language list (LanguageNameAt order); -1,
// no entry chosen, counts as 0.
void SelectLanguageAt(TLanguageManager& manager, int index);

// The main window's LangData (root "Form1"), IgnoreList and StoreList, from
// the program's resources, into its controller; then the window calls
// Loaded().
void LoadMainWindowLangData(TLanguageController& controller);

}  // namespace tessor::lang
