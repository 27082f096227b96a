#pragma once
// One image read from a file (the logo), drawn stretched into a rectangle.
// Sizes follow the picture loader's conventions: after Load, pixels at 96 dots
// per inch; after UpdateSizeOnDC, pixels of that device.
#include <QImage>
#include <QRect>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/WinTypes.h"

class QPainter;

class CPicture {
public:
    CPicture() = default;
    virtual ~CPicture() = default;

    // Path of the logo in the program's directory.
    static std::string LogoPath();

    // Reads the whole file and decodes it. A file that cannot be opened shows
    // its error under "CPicture Error"; a file that is no image leaves no
    // picture. TRUE when a picture exists afterwards.
    BOOL Load(const std::string& path);
    // Decodes bytes already in memory; TRUE when they could be handed to the
    // decoder (whether they form an image shows in HasPicture()).
    BOOL LoadPictureData(const uint8_t* data, size_t size);
    // Draws the picture upright, stretched into `area`. FALSE without a painter or picture.
    BOOL Show(QPainter* dc, const QRect& area) const;
    // Width and height in pixels of that device (96 per inch when printing).
    BOOL UpdateSizeOnDC(QPainter* dc);
    void FreePictureData();

    bool HasPicture() const { return !m_picture.isNull(); }
    const QImage& Image() const { return m_picture; }
    long m_Height = 0;
    long m_Size = 0;
    long m_Width = 0;

    static constexpr const char* kErrorCaption = "CPicture Error";

private:
    QImage m_picture;
    // Size in hundredths of a millimetre, as the picture reports it.
    long m_himetricWidth = 0;
    long m_himetricHeight = 0;
};
