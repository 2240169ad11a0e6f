// Where Susie keeps its plug-in settings; read only, never written by us.
#pragma once

constexpr char kSusiePluginKey[] = "Software\\Hosenbu\\Susie\\Plug-in";
constexpr char kSusieActivateKey[] = "Software\\Hosenbu\\Susie\\Plug-in\\Activate";
constexpr char kSusiePathValue[] = "Path";
