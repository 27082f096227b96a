#pragma once
// The depth panel's choices and rules, free of any toolkit: the scale and gamma
// maximum lists, the palette names, the speed colours and the serial-number text.
#include <cstdint>
#include <string>

namespace zns {

struct PanelComboItem {
    const char* text;
    int data;
};

// Display scales: the fourth item reads 1/250 and carries 200 (the trace image's 1/200 rules).
inline constexpr PanelComboItem kScaleItems[] = {
    {"1/25", 25}, {"1/50", 50}, {"1/100", 100}, {"1/250", 200}, {"1/500", 500}};
inline constexpr PanelComboItem kGammaMaxItems[] = {
    {"10", 10},     {"20", 20},     {"50", 50},     {"100", 100},     {"200", 200},     {"500", 500},
    {"1000", 1000}, {"2000", 2000}, {"5000", 5000}, {"10000", 10000}, {"20000", 20000}, {"50000", 50000}};
// Palette names in palette order (0 grey, 1 blue-white-red, 2 rainbow).
inline constexpr const char* kPaletteItems[] = {"B/W", "Color", "Pseudo -color"};

// Index of the item whose data equals `data`; -1 when none does.
int ScaleItemIndex(int vscale);
int GammaMaxItemIndex(int gammaMax);

// Colour of the logging speed. L is the highest logging speed (m/min), `mode`
// the sonde's mode nibble. At |speed| >= L - 1.5: in the depth modes (10, 11)
// d = (|speed| - (L - 1.5)) x 256 gives RGB(255, trunc(255 - d), 0), and above
// 255 red with blinking; in time mode yellow. Below: yellow, no blinking.
struct SpeedLook {
    uint32_t color = 0x00FFFF;  // COLORREF
    bool blink = false;
};
SpeedLook SpeedLookFor(double speed, double maxSpeed, int mode);

// "SN: %d", or "SN : -" for a serial number below 1.
std::string SerialNumberText(int serial);

}  // namespace zns
