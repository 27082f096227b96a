// The ".hed" reader over any file content.
//
// After CHeader::ReadHeaderFile every text is one line of at most 255
// characters, the channel count is where the "ende" rule puts it and the
// channels hold what their sections say, the sonde length is not negative.
// Writing the header out again (CHeader::WriteHeaderFile) and reading it back
// gives the same [WellInfo] values, modulo the file's rules (one line, blanks
// trimmed, "%f" for decimals).
#include <cmath>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "records/SharedRecords.h"
#include "platform/IniFile.h"
#include "platform/NumText.h"
#include "settings/Header.h"

namespace {

fuzz::ScratchDir& Scratch() {
    static fuzz::ScratchDir dir;
    return dir;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// What a text becomes once written and read again.
std::string Stored(const std::string& s) {
    std::string o = zns::HeaderOneLine(s);
    size_t b = 0, e = o.size();
    while (b < e && IsBlank(o[b])) ++b;
    while (e > b && IsBlank(o[e - 1])) --e;
    return o.substr(b, e - b).substr(0, zns::kIniValueMax);
}

bool EqualsNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// CIni's texts end at a zero byte.
std::string UpTo0(const std::string& s) { return s.substr(0, s.find('\0')); }

void CheckText(const std::string& s, const char* what) {
    FUZZ_CHECK(s.size() <= zns::kIniValueMax, "%s has %zu characters", what, s.size());
    FUZZ_CHECK(s.find('\n') == std::string::npos, "%s spans lines", what);
}

struct Rig {
    SharedData shared;
    SettingsData data;
    HeaderRecord record;
    std::string error;
    CHeader header;
    Rig()
        : header(record, shared, data, HeaderHooks{nullptr, [this](const std::string& t) { error = t; }},
                 PreferencesHooks{{}, {}, Scratch().Path(), Scratch().File("registry")}) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in = Scratch().File("in.hed");
    fuzz::WriteFile(in, data, size);
    fuzz::Backdate(in);

    Rig a;
    FUZZ_CHECK(a.header.ReadHeaderFile(in) == FALSE, "an existing header refused");
    const HeaderRecord& r = a.record;

    FUZZ_CHECK(r.SondeLength >= 0);
    FUZZ_CHECK(r.m_nChannelCount >= 0 && r.m_nChannelCount <= kMaxHeaderChannels);
    for (int n = 0; n <= r.m_nChannelCount && n < kMaxHeaderChannels; ++n) {
        const std::string sec = zns::Format("Channel%d", n);
        const std::string title = UpTo0(zns::IniGetString(in, sec, "Title", "ende"));
        if (n < r.m_nChannelCount) {
            const ChannelEntry& ch = r.m_Channels[static_cast<size_t>(n)];
            FUZZ_CHECK(!EqualsNoCase(title, "ende"), "channel %d counted", n);
            FUZZ_CHECK(ch.Title == title && ch.TitleShort == UpTo0(zns::IniGetString(in, sec, "TitleShort", "")) &&
                       ch.Unit == UpTo0(zns::IniGetString(in, sec, "Unit", "")));
            FUZZ_CHECK(ch.SampleType == zns::IniGetInt(in, sec, "SampleType", 0));
            CheckText(ch.Title, "a channel title");
        } else {
            FUZZ_CHECK(EqualsNoCase(title, "ende"), "channel %d not counted", n);
        }
    }
    for (const WellInfoKey& k : WellInfoKeys())
        if (k.type == WellInfoKey::String) CheckText(r.*(k.s), k.key);
    CheckText(r.Rx1_Name, "Rx1_Name");

    // Out and back in.
    const std::string out = Scratch().File("out.hed");
    FUZZ_CHECK(a.header.WriteHeaderFile(out), "header not written: %s", a.error.c_str());
    fuzz::Backdate(out);
    Rig b;
    FUZZ_CHECK(b.header.ReadHeaderFile(out) == FALSE);
    for (const WellInfoKey& k : WellInfoKeys()) {
        switch (k.type) {
            case WellInfoKey::String:
                FUZZ_CHECK(b.record.*(k.s) == Stored(r.*(k.s)), "%s: \"%s\" came back as \"%s\"", k.key,
                           (r.*(k.s)).c_str(), (b.record.*(k.s)).c_str());
                break;
            case WellInfoKey::Int:
                FUZZ_CHECK(b.record.*(k.i) == r.*(k.i), "%s: %d came back as %d", k.key, r.*(k.i), b.record.*(k.i));
                break;
            case WellInfoKey::Double: {
                const double x = r.*(k.d), y = b.record.*(k.d);
                FUZZ_CHECK(std::isfinite(x), "%s read as %g", k.key, x);
                // "%f" keeps six decimals; beyond 1e200 the text outgrows a value.
                if (std::fabs(x) < 1e200)
                    FUZZ_CHECK(std::fabs(x - y) <= 1e-6 + std::fabs(x) * 1e-15, "%s: %.17g came back as %.17g",
                               k.key, x, y);
                break;
            }
        }
    }
    FUZZ_CHECK(b.record.m_nChannelCount == a.data.sondeDb.nTotalChannel);
    return 0;
}
