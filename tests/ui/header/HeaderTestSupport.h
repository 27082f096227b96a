#pragma once
// Shared fixture of the header editor tests: a record, the scripted user
// service, a temporary folder and an editor shown offscreen.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "settings/Header.h"
#include "ui/controls/Picture.h"
#include "ui/dialogs/HeaderDlg.h"

namespace zns::test {

// A logo of one colour, loaded as the main window loads its picture.
inline void MakeLogo(CPicture& pic, QRgb color, QSize size = {40, 30}) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(color);
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    pic.LoadPictureData(reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size()));
    pic.m_Size = png.size();
}

class HeaderEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                (std::string("zns-hdredit-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override {
        m_dlg.reset();
        std::filesystem::remove_all(m_dir);
    }

    // The editor created and shown (not modal), as DoModal would show it.
    CHeaderDlg& Open(HeaderDlgContext ctx = {}) {
        m_dlg = std::make_unique<CHeaderDlg>(rec, nullptr, std::move(ctx));
        m_dlg->Create();
        m_dlg->show();
        zns::ui::PumpEvents(0);
        return *m_dlg;
    }
    CHeaderDlg& Dlg() { return *m_dlg; }
    bool Ended() const { return !m_dlg->isVisible(); }

    std::string WriteFile(const std::string& name, const std::string& text) {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    static QLineEdit* Edit(CWndBase& page, int id) { return page.GetDlgItem<QLineEdit>(id); }
    // Typing as the operator does, after emptying the field.
    static void Type(CWndBase& page, int id, const char* text) {
        QLineEdit* e = Edit(page, id);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, QString::fromLatin1(text));
    }

    HeaderRecord rec;
    zns::ui::ScriptedUiService ui;
    zns::ui::ScopedService scoped{ui};
    std::filesystem::path m_dir;
    std::unique_ptr<CHeaderDlg> m_dlg;
};

}  // namespace zns::test
