#include "ui/dialogs/CommReport.h"

#include "platform/FileReplace.h"
#include "platform/NumText.h"

namespace zns {

namespace {

const char* CableText(int32_t cableType) { return cableType == 0 ? "4cond" : "mono"; }

const char* PaddedBaud(int divisor) {
    switch (divisor) {
        case 4: return " 156250";
        case 5: return " 125000";
        case 6: return " 104167";
        case 7: return "  89286";
        case 8: return "  78125";
        case 9: return "  69444";
        case 10: return "  62500";
        case 12: return "  52083";
        case 15: return "  41667";
        case 20: return "  31250";
        default: return "";
    }
}

}  // namespace

std::string CommReportPath(const std::string& programDir, int32_t serial, int32_t cableType) {
    return programDir + "reporting_" + Format("%04d", serial) + "_" + CableText(cableType) + ".txt";
}

std::string CommReportText(int32_t serial, int32_t cableType, const LocalTime& date, const CheckRow* rows,
                           int rowCount) {
    std::string t = "Communication report - " + FormatTime("%d %B %Y", date) + "\n";
    t += "ZNS serial number :" + Format("%04d", serial) + " - cable type :" + CableText(cableType) +
         "\nWritten by Halvex s.a.\n\n";
    if (rowCount <= 0 || !rows[0].valid) {
        t += "No communication !!!";
        return t;
    }
    t += "BaudRate DownHoleDrive UpholeDrive Gain :Min  Max(checked)\n";
    for (int i = 0; i < rowCount && i < kCheckRowCount && rows[i].valid; ++i) {
        const CheckRow& r = rows[i];
        t += PaddedBaud(r.baudDivisor);
        t += Format("        %02d", r.downDrive);
        t += Format("          %02d", r.upDrive);
        t += Format("             %02d", r.gainMin);
        t += Format("  %02d\n", r.gainMax);
    }
    return t;
}

bool WriteCommReportFile(const std::string& path, const std::string& text) {
    std::string out;
    out.reserve(text.size() + 32);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return static_cast<bool>(ReplaceFile(path, out));
}

}  // namespace zns
