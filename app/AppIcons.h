#pragma once
// The main window's icons by resource id, drawn once and shared (the same id
// always gives the same icon, so the status bar can tell them apart).
#include <QIcon>

enum : int {
    IDI_MAIN = 199,
    IDI_LINK_ACTIVE = 216,
    IDI_LINK_IDLE = 218,
    IDI_TX_IDLE = 222,
    IDI_RX_IDLE = 223,
    IDI_RX_ACTIVE = 224,
    IDI_TX_ACTIVE = 225,
};

// Null icon for an unknown id. GUI thread.
QIcon AppIcon(int id);
