// The application object's records and start-up values, and the shutdown notice.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <cerrno>

#include "AppTestSupport.h"
#include "app/BrannicLogger_ZN.h"
#include "app/EndProcessDlg.h"
#include "platform/Paths.h"
#include "platform/ui/UiService.h"
#include "settings/SaveReport.h"

namespace {

TEST(AppObject, RecordsAndStartUpValues) {
    apptest::ProgramDir dir;
    const auto cwd = std::filesystem::current_path();  // a relative ZNS_HOME names the folder meant at start
    std::filesystem::current_path(dir.Path() + "..");
    setenv("ZNS_HOME", std::filesystem::path(dir.Path()).parent_path().filename().c_str(), 1);
    CBrannicLogger_ZNApp app;
    std::filesystem::current_path(cwd);
    EXPECT_EQ(zns::ProgramDir(), dir.Path());
    // The record pointers are the records it owns.
    EXPECT_EQ(app.m_pSessionState, &app.Shared().session);
    EXPECT_EQ(app.m_pSettings, &app.Shared().settings);
    EXPECT_EQ(app.m_pFilePaths, &app.Settings().files);
    EXPECT_EQ(app.m_pWindowLayout, &app.Settings().layout);
    EXPECT_EQ(app.m_pHeader, &app.Header());
    EXPECT_EQ(app.m_pSondeDb, &app.Settings().sondeDb);

    EXPECT_EQ(app.Shared().SnapshotSettings().RecordingMode, RECMODE_TIME);
    EXPECT_EQ(app.Settings().g_nRefreshTime, 50);
    for (const auto& gain : app.Shared().g_nDisplayGainRx) EXPECT_EQ(gain.load(), 1);
    EXPECT_TRUE(app.m_bPowerDownConfirmed);
    EXPECT_EQ(app.g_nLostFrames, 0);
    EXPECT_EQ(app.g_nGoodFrames, 0);
    EXPECT_FALSE(app.Shared().g_bFirstRecordPending);
    EXPECT_FALSE(app.Shared().m_bReceiveRun);
    EXPECT_FALSE(app.Shared().m_bLinkWatchRunning);
    EXPECT_FALSE(app.m_strOSName.empty());
    EXPECT_EQ(app.m_fontBold.family().toStdString(), "Arial");
    EXPECT_EQ(app.m_fontBold.weight(), QFont::Bold);
    EXPECT_EQ(app.m_fontHeavy.weight(), QFont::Black);

    // State left from an earlier session is cleared at start.
    {
        std::lock_guard<std::mutex> lock(app.Shared().acqMutex);
        app.Shared().session.Recording = 1;
        app.Shared().session.ReplayLoaded = 1;
        app.Shared().logger.FrameStatus = 8;
    }
    app.Shared().m_bNewData[1] = true;
    app.Shared().m_bLinkUp = true;
    app.Shared().g_nWaveHeadFlag = 3;
    app.Settings().m_szLanguage[0] = 'U';
    ASSERT_TRUE(app.StartInstance());
    EXPECT_EQ(app.Shared().SnapshotSession().Recording, 0);
    EXPECT_EQ(app.Shared().SnapshotSession().ReplayLoaded, 0);
    EXPECT_EQ(app.Shared().SnapshotLogger().FrameStatus, 0);
    EXPECT_FALSE(app.Shared().m_bNewData[1]);
    EXPECT_FALSE(app.Shared().m_bLinkUp);
    EXPECT_TRUE(app.m_bRawDepth);
    EXPECT_EQ(app.Shared().g_nWaveHeadFlag, -1);
    EXPECT_EQ(std::string(app.Settings().m_szLanguage), "FR");
    EXPECT_EQ(app.m_nCurrentWideId, RX1_ID);
    EXPECT_EQ(zns::ui::AppTitle(), "ZNS Acquisition software");

    // The notice exists hidden, with its first text.
    CEndProcessDlg* notice = app.EndProcessDlg();
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(notice->GetMessage(), "Shutdown ... wait");
    auto* text = notice->GetDlgItem<QLabel>(CEndProcessDlg::IDC_MESSAGE);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->font().family().toStdString(), "Arial");
    notice->SetMessage("Ending USB process ... wait");
    EXPECT_EQ(notice->GetMessage(), "Ending USB process ... wait");

    // A failed save is told on the GUI thread, unless its file was saved by then.
    dir.Ui().Clear();
    const zns::ReplaceResult full{zns::ReplaceResult::Failed, ENOSPC}, saved{zns::ReplaceResult::Replaced, 0};
    zns::NoteSave(dir.File("a.hed"), full);
    zns::NoteSave(dir.File("a.hed"), saved);
    zns::NoteSave(dir.File("HxZn.cfg"), full);
    QCoreApplication::processEvents();
    ASSERT_EQ(dir.Ui().Boxes().size(), 1u);
    EXPECT_EQ(dir.Ui().Boxes()[0].text, zns::SaveFailureText(dir.File("HxZn.cfg"), ENOSPC));
    // Good news of a file whose failure was told: in place of its box while that is up, else after it.
    dir.Ui().OnBox([&](const auto& box) {
        if (box.text.find("could not") == std::string::npos) return;
        zns::TellSave(dir.File("b.hed"), "closed", false);
        QCoreApplication::processEvents();
    });
    zns::NoteSave(dir.File("b.hed"), full);
    QCoreApplication::processEvents();
    dir.Ui().OnBox(nullptr);
    zns::TellSave(dir.File("HxZn.cfg"), "late", false);  // its box was answered at once
    QCoreApplication::processEvents();
    ASSERT_EQ(dir.Ui().Boxes().size(), 4u);
    EXPECT_EQ(dir.Ui().LastBox().text, "late");
    EXPECT_TRUE(dir.Ui().Boxes()[1].withdrawn && dir.Ui().Boxes()[2].text == "closed");  // and that box goes
    app.Shutdown();
}

}  // namespace
