#pragma once
// Program-wide texts: the product's name and version, the About notice, and
// the messages the setup pages and panels share. Header-only so that any
// window library can use them without linking the application.

inline constexpr const char* g_strProductTitle = "ZNS Acquisition software";
inline constexpr const char* g_strVersion = "3.11";
inline constexpr const char* g_strAboutNotice =
    "Copyright (C) Halvex. All rights reserved.";

inline constexpr const char* g_strMsgBadSondeFile = "Bad sonde file";
inline constexpr const char* g_strMsgBadGammaCoef = "Bad entered value\nCorrect value is : 0.2 to 5.00";
inline constexpr const char* g_strMsgSondeRemoved = "Sonde removed.\nDo not forget to select another sonde";
inline constexpr const char* g_strMsgAskRemoveSonde = "Do you want remove this sonde from dbase ?";
inline constexpr const char* g_strMsgAskOverwriteSonde =
    "A sonde with the same serial number is already stored in dbase. Overwrite?";
inline constexpr const char* g_strMsgCriticalParam = "This is a critical parameter.\nAre you sure to want to mofify it ?";
inline constexpr const char* g_strMsgSondeTableFull = "The maximum of storable sonde is reached.";
inline constexpr const char* g_strMsgAskSaveGammaCoef = "Do you save now the Gamma coef parameter ?";
inline constexpr const char* g_strMsgCloseEditing = "You must close the editing before use this button !!!";
inline constexpr const char* g_strMsgBadWinchDirection = "Bad Winch Direction !!!";
inline constexpr const char* g_strMsgWaitLastDepth = "Wait last valid depth...";
inline constexpr const char* g_strMsgNoSonde = "No sondes selected ...";
