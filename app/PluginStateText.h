// The options dialog's words for the plug-ins' folder and for what became of each plug-in, in UTF-8.
#pragma once

#include <string>

#include "jobs/PluginStates.h"

std::string SourceText(TFolderSource source);
// The state and, where there is one, why: "除外 (2 回異常終了しました)".
std::string StateText(const TPluginRow& row);
// Each pattern with its description: "*.zip (ZIP archive); *.tar".
std::string FormatsText(const TPluginRow& row);
