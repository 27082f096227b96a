#include "ui/controls/Picture.h"

#include <QPaintDevice>
#include <QPainter>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/Paths.h"
#include "platform/ui/UiService.h"

namespace {

// (a * b) / c rounded to the nearest, as the window system's MulDiv.
long MulDiv(long a, long b, long c) {
    if (c == 0) return -1;
    const long long p = static_cast<long long>(a) * b;
    const bool negative = (p < 0) != (c < 0);
    const long long ap = p < 0 ? -p : p;
    const long long ac = c < 0 ? -static_cast<long long>(c) : c;
    const long long q = (ap + ac / 2) / ac;
    return static_cast<long>(negative ? -q : q);
}

void ShowError(const std::string& text) {
    zns::ui::Service().MessageBox(nullptr, text, CPicture::kErrorCaption, MB_OK | MB_ICONHAND);
}

// The file error as the framework words it, at most 255 characters.
std::string OpenErrorText(const std::string& path, int err) {
    std::string text;
    switch (err) {
        case ENOENT: text = path + " was not found."; break;
        case EACCES:
        case EPERM: text = "Access to " + path + " was denied."; break;
        case EISDIR: text = path + " is a folder, not a file."; break;
        default: text = "An unexpected error occurred while accessing " + path + "."; break;
    }
    if (text.size() > 255) text.resize(255);
    return text;
}

}  // namespace

std::string CPicture::LogoPath() { return zns::JoinPath(zns::ProgramDir(), "logo.jpg"); }

void CPicture::FreePictureData() {
    m_picture = QImage();
    m_himetricWidth = m_himetricHeight = 0;
    m_Height = m_Size = m_Width = 0;
}

BOOL CPicture::Load(const std::string& path) {
    FreePictureData();
    FILE* f = std::fopen(path.c_str(), "rb");
    int err = f ? 0 : errno;
    if (f && zns::DirExists(path)) {
        std::fclose(f);
        f = nullptr;
        err = EISDIR;
    }
    if (!f) {
        ShowError(OpenErrorText(path, err));
        return FALSE;
    }
    std::vector<uint8_t> data;
    bool readOk = true;
    try {
        if (std::fseek(f, 0, SEEK_END) == 0) {
            const long len = std::ftell(f);
            if (len > 0) data.resize(static_cast<size_t>(len));
        }
        std::rewind(f);
        if (!data.empty() && std::fread(data.data(), 1, data.size(), f) != data.size()) readOk = false;
    } catch (const std::bad_alloc&) {
        std::fclose(f);
        ShowError("Can not allocate enough memory\t");
        return FALSE;
    }
    std::fclose(f);
    if (readOk) LoadPictureData(data.data(), data.size());
    m_Size = static_cast<long>(data.size());
    if (m_picture.isNull()) {
        m_Width = m_Height = 0;
        return FALSE;
    }
    m_Width = MulDiv(m_himetricWidth, 96, 2540);
    m_Height = MulDiv(m_himetricHeight, 96, 2540);
    return TRUE;
}

BOOL CPicture::LoadPictureData(const uint8_t* data, size_t size) {
    m_picture = QImage();
    m_himetricWidth = m_himetricHeight = 0;
    if (!data || size == 0 || size > static_cast<size_t>(INT32_MAX)) return FALSE;
    QImage img;
    if (img.loadFromData(data, static_cast<int>(size))) {
        m_picture = img.convertToFormat(QImage::Format_RGB32);
        // The loader reports sizes at screen resolution (96 dots per inch).
        m_himetricWidth = MulDiv(m_picture.width(), 2540, 96);
        m_himetricHeight = MulDiv(m_picture.height(), 2540, 96);
    }
    return TRUE;
}

BOOL CPicture::Show(QPainter* dc, const QRect& area) const {
    if (!dc || m_picture.isNull()) return FALSE;
    dc->save();
    dc->setRenderHint(QPainter::SmoothPixmapTransform, true);
    dc->drawImage(area, m_picture);
    dc->restore();
    return TRUE;
}

BOOL CPicture::UpdateSizeOnDC(QPainter* dc) {
    if (!dc || m_picture.isNull()) {
        m_Width = m_Height = 0;
        return FALSE;
    }
    int dpiX = 96, dpiY = 96;
    const QPaintDevice* dev = dc->device();
    if (dev && dev->devType() != QInternal::Printer) {
        dpiX = dev->logicalDpiX();
        dpiY = dev->logicalDpiY();
    }
    m_Height = MulDiv(m_himetricHeight, dpiY, 2540);
    m_Width = MulDiv(m_himetricWidth, dpiX, 2540);
    return TRUE;
}
