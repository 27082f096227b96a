#pragma once
// What the "Logger Setup" dialog and its pages call in windows built
// elsewhere. Every hook may be left empty: a missing sender queues the command
// straight on the shared send queue with the selected sonde's voltage, the
// others then do nothing.
#include <QRect>
#include <functional>

struct SetupPageHooks {
    // Command 1 or 8 to the logger (CUSB::sendF1, CUSB::sendF8).
    std::function<bool(int code)> sendCommand;
    // The main window's acquisition reset (CBrannicZenova_Dlg::ResetAcquisition).
    std::function<void(bool reload)> resetAcquisition;
    // Time between the last two replayed records in ms (CToolsStream::ReplayTimeStepMs).
    std::function<int()> replayTimeStepMs;
    // The main window back at its standard position (RestoreWindowPos(false)),
    // and its rectangle afterwards (m_rcMainWnd, screen coordinates).
    std::function<void()> restoreMainWindowPos;
    std::function<QRect()> mainWindowRect;
};
