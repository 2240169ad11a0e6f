#pragma once

#include <guiddef.h>

// Fixed for good: the shell's entries and the factory lookup both name the class by it.
// {5B0E7C3A-9D41-4F62-8A17-C3E2D6F90B84}
inline constexpr CLSID kDropHandlerClsid = {0x5b0e7c3a,
                                            0x9d41,
                                            0x4f62,
                                            {0x8a, 0x17, 0xc3, 0xe2, 0xd6, 0xf9, 0x0b, 0x84}};

// Offers the handler for drops onto folders; its default value is the class identifier's text.
inline constexpr char kDropHandlerKey[] = "Folder\\shellex\\DragDropHandlers\\Kelvane";
