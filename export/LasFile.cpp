#include "export/LasFile.h"

#include "platform/NumText.h"
#include "settings/Header.h"

namespace zns {
namespace {

constexpr const char* kEol = "\r\n";
const std::string kDashes = "#" + std::string(78, '-') + kEol;

std::string Trimmed(const std::string& s) {
    const char* blanks = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

std::string WellRow(const char* mnemonic, const std::string& value, const char* description) {
    return std::string(mnemonic) + FormatWellValue(value) + " :   " + description + kEol;
}

}  // namespace

std::string PadWellValue(const std::string& value, int width) {
    std::string v = Trimmed(value);
    if (v.empty()) v = "N/A";
    const int n = static_cast<int>(v.size());
    int pad = 1;
    if (n < width)
        pad = width - n;
    else if (n > width)
        pad = n - width;
    return v + std::string(static_cast<size_t>(pad), ' ');
}

std::string FormatWellValue(const std::string& value) { return PadWellValue(value, kLasWellWidth); }

std::string LasHeaderText(const HeaderRecord& h, const LasChannels& ch, int mode, double step, bool reverse,
                          double startDepth, double stopDepth) {
    std::string t;
    t += std::string("#ZNS file export") + kEol;
    t += std::string("~VERSION INFORMATION") + kEol;
    t += kDashes;
    t += std::string(" VERS. 2.0 : CWLS LOG ASCII STANDARD - VERSION 2.0") + kEol;
    t += std::string(" WRAP. NO  : ONE LINE PER DEPTH STEP") + kEol;
    t += std::string("~WELL INFORMATION") + kEol;
    t += std::string("#MNEM.UNIT         DATA                                DESCRIPTION ") + kEol;
    t += kDashes;
    t += Format(" STRT.M        %#8.2f                            :   START DEPTH\r\n", startDepth);
    t += Format(" STOP.M        %#8.2f                            :   STOP DEPTH\r\n", stopDepth);
    const double shown = reverse ? -step : step;
    if (mode == LAS_MODE_TIME)
        t += Format(" STEP.M        %#8.3f                            :   STEP VALUE\r\n", shown);
    else
        t += Format(" STEP.M        %#8.2f                            :   STEP VALUE\r\n", shown);
    t += std::string(" NULL.         -999.250                            :   NULL VALUE") + kEol;
    t += WellRow(" COMP.    ", h.Company, "COMPANY NAME");
    t += WellRow(" WELL.    ", h.Wellname, "WELL NAME");
    t += WellRow(" FLD.     ", h.Fieldname, "FIELD NAME");
    t += WellRow(" LOC.     ", h.Location, "LOCATION");
    t += WellRow(" CTRY.    ", h.Country, "COUNTRY");
    t += WellRow(" CNTY.    ", "", "COUNTY");
    t += WellRow(" STAT.    ", "", "STATE");
    t += WellRow(" SRVC.    ", h.ServiceCompany, "SERVICE COMPANY NAME");
    t += WellRow(" DATE.    ", h.Date, "DATE");
    t += WellRow(" UWI.     ", h.UWI, "UNIQUE WELL IDENTIFIER");
    t += WellRow(" API.     ", h.UWI, "API REFERENCE NUMBER");

    t += std::string("~OTHER INFORMATION SECTION") + kEol;
    t += kDashes;
    if (mode == LAS_MODE_UP)
        t += std::string("     Notes: The log is recorded in Up Mode.") + kEol;
    else if (mode == LAS_MODE_DOWN)
        t += std::string("     Notes: The log is recorded in Down Mode.") + kEol;
    else if (mode == LAS_MODE_TIME)
        t += std::string("     Notes: The log is recorded in Time Mode.") + kEol;
    t += kDashes;
    t += std::string("~CURVE INFORMATION") + kEol;
    t += std::string("#MNEM.UNIT         API CODE              CURVE DESCRIPTION") + kEol;
    t += kDashes;
    t += std::string(" DEPTH     .M                                 :  Depth        ") + kEol;
    if (ch.speed) t += std::string(" SPEED     .M/Min                             :  Logging speed") + kEol;
    if (ch.gamma) t += std::string(" GAMMA     .CPS                               :  Natural gamma") + kEol;
    if (ch.gain[0]) t += std::string(" GRX1\t   .DB                                :  Gain Channel 1 ") + kEol;
    if (ch.travelTime[0]) t += std::string(" TT1       .uSEC                              :  Travel time Channel 1") + kEol;
    if (ch.gain[1]) t += std::string(" GRX2\t   .DB                                :  Gain Channel 2") + kEol;
    if (ch.travelTime[1]) t += std::string(" TT2       .uSEC                              :  Travel time Channel 2") + kEol;
    if (ch.gain[2]) t += std::string(" GRX3\t   .DB                                :  Gain Channel 3") + kEol;
    if (ch.travelTime[2]) t += std::string(" TT3       .uSEC                              :  Travel time Channel 3") + kEol;
    t += kDashes;
    t += "~A  DEPTH";
    if (ch.speed) t += "     SPEED";
    if (ch.gamma) t += "     GAMMA";
    if (ch.gain[0]) t += "     GRX1";
    if (ch.travelTime[0]) t += "      TT1";
    if (ch.gain[1]) t += "     GRX2";
    if (ch.travelTime[1]) t += "      TT2";
    if (ch.gain[2]) t += "     GRX3";
    if (ch.travelTime[2]) t += "      TT3";
    return t;
}

std::string LasLineText(const LasChannels& ch, const double v[9]) {
    if (v[0] == kLasNull) return {};
    std::string t = Format("\r\n%#9.2f", v[0]);
    if (ch.speed) t += Format("   %#7.2f", v[1]);
    if (ch.gamma) t += Format("  %#8.2f", v[2]);
    for (int rx = 0; rx < 3; ++rx) {
        if (ch.gain[rx]) t += Format("  %#7.2f", v[3 + 2 * rx]);
        if (ch.travelTime[rx]) t += Format("  %#7.2f", v[4 + 2 * rx]);
    }
    return t;
}

}  // namespace zns
