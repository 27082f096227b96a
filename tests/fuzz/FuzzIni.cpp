// The ini engine over any file content and any sequence of calls.
//
// Input: a u16 length and that many bytes of file, then calls (read, write,
// delete key, delete section, ensure section, list sections, list entries,
// read a number, a buffer-limited read, replacing the file behind the
// engine's back). Every answer is compared with a small model of the
// engine's rules that reads the file's bytes itself; a value read back after
// a write equals what was written, modulo those rules (one line, blanks
// trimmed, 255 characters); a write or delete changes only the lines it must.
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/IniFile.h"
#include "platform/NumText.h"

namespace {

// ---- the model ----

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

unsigned char Fold(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c - 'A' + 'a');
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 0x10);
    if (c == 0x9F) return 0xFF;
    return c;
}

bool Same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

std::string OneLine(std::string_view s) {
    std::string o(s);
    for (char& c : o)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return o;
}

struct MLine {
    std::string text, eol;
    enum { Other, Section, Entry } kind = Other;
    std::string name, value;
};

std::vector<MLine> Model(const std::string& raw) {
    std::vector<MLine> out;
    // A UTF-8 byte-order mark before the first line is not part of it.
    size_t pos = raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (pos < raw.size()) {
        MLine l;
        size_t nl = raw.find('\n', pos);
        if (nl == std::string::npos) {
            l.text = raw.substr(pos);
            pos = raw.size();
        } else {
            size_t end = nl;
            l.eol = "\n";
            if (end > pos && raw[end - 1] == '\r') {
                --end;
                l.eol = "\r\n";
            }
            l.text = raw.substr(pos, end - pos);
            pos = nl + 1;
        }
        std::string_view t = l.text;
        size_t i = 0;
        while (i < t.size() && IsBlank(t[i])) ++i;
        if (i < t.size() && t[i] == '[') {
            size_t close = t.rfind(']');
            l.kind = MLine::Section;
            l.name = Trim(close != std::string_view::npos && close > i ? t.substr(i + 1, close - i - 1) : t.substr(i + 1));
        } else if (i < t.size() && t[i] != ';') {
            size_t eq = t.find('=', i);
            if (eq != std::string_view::npos) {
                l.kind = MLine::Entry;
                l.name = Trim(t.substr(i, eq - i));
                l.value = Trim(t.substr(eq + 1));
            }
        }
        out.push_back(std::move(l));
    }
    return out;
}

// For each line: inside a section matching `section`.
std::vector<bool> Membership(const std::vector<MLine>& doc, std::string_view section) {
    std::vector<bool> in(doc.size());
    bool cur = false;
    for (size_t i = 0; i < doc.size(); ++i) {
        if (doc[i].kind == MLine::Section) cur = Same(doc[i].name, section);
        in[i] = cur;
    }
    return in;
}

std::optional<std::string> ModelFind(const std::vector<MLine>& doc, std::string_view section, std::string_view key) {
    const std::vector<bool> in = Membership(doc, Trim(section));
    for (size_t i = 0; i < doc.size(); ++i)
        if (in[i] && doc[i].kind == MLine::Entry && Same(doc[i].name, Trim(key)))
            return doc[i].value.substr(0, zns::kIniValueMax);
    return std::nullopt;
}

// ---- the harness ----

fuzz::ScratchDir& Scratch() {
    static fuzz::ScratchDir dir;
    return dir;
}

std::string Show(const std::optional<std::string>& v) { return v ? "\"" + *v + "\"" : "(none)"; }

// The lines of `before` and `after` that differ, once common lines at both ends are set aside.
void Middle(const std::vector<MLine>& a, const std::vector<MLine>& b, size_t& aMid, size_t& bMid, size_t& prefix) {
    auto same = [](const MLine& x, const MLine& y) { return x.text == y.text && x.eol == y.eol; };
    size_t p = 0;
    while (p < a.size() && p < b.size() && same(a[p], b[p])) ++p;
    size_t q = 0;
    while (q < a.size() - p && q < b.size() - p && same(a[a.size() - 1 - q], b[b.size() - 1 - q])) ++q;
    aMid = a.size() - p - q;
    bMid = b.size() - p - q;
    prefix = p;
}

void CheckRead(const std::string& path, const std::string& sec, const std::string& key) {
    const std::vector<MLine> doc = Model(fuzz::ReadFile(path));
    const std::optional<std::string> want = ModelFind(doc, sec, key);
    const std::optional<std::string> got = zns::IniFind(path, sec, key);
    FUZZ_CHECK(got == want, "[%s] %s: engine %s, model %s", sec.c_str(), key.c_str(), Show(got).c_str(),
               Show(want).c_str());
    const std::string def = "d\xE9" "faut";
    FUZZ_CHECK(zns::IniGetString(path, sec, key, def) == (want ? *want : def));
    FUZZ_CHECK(zns::IniGetInt(path, sec, key, -7) == (want ? zns::ParseInt(*want) : -7));
}

void CheckWrite(const std::string& path, const std::string& sec, const std::string& key, const std::string& value) {
    const std::string before = fuzz::ReadFile(path);
    FUZZ_CHECK(zns::IniWriteString(path, sec, key, value), "write refused");
    const std::string after = fuzz::ReadFile(path);
    const std::string_view bom = "\xEF\xBB\xBF";
    FUZZ_CHECK(before.compare(0, 3, bom) != 0 || after.compare(0, 3, bom) == 0, "the byte-order mark was lost");

    // A key that reads as a section, a comment or a shorter key cannot be found
    // again (every write of it adds a line); any other can.
    const std::string keyName(Trim(OneLine(key)));
    const bool readable = keyName.find('=') == std::string::npos &&
                          (keyName.empty() || (keyName[0] != '[' && keyName[0] != ';'));
    if (readable) {
        const std::string want(Trim(OneLine(value)).substr(0, zns::kIniValueMax));
        const std::optional<std::string> got = zns::IniFind(path, OneLine(sec), OneLine(key));
        FUZZ_CHECK(got && *got == want, "wrote \"%s\", read %s", want.c_str(), Show(got).c_str());
        // Writing the same again changes nothing.
        FUZZ_CHECK(zns::IniWriteString(path, sec, key, value));
        FUZZ_CHECK(fuzz::ReadFile(path) == after, "a repeated write changed the file");
    }

    // One line replaced, or a line (and maybe its section) added; the line
    // before an addition may only gain its line end.
    const std::vector<MLine> a = Model(before), b = Model(after);
    size_t am = 0, bm = 0, p = 0;
    Middle(a, b, am, bm, p);
    FUZZ_CHECK(am <= 1 && bm <= 3 && (am == bm || bm > am), "write changed %zu lines into %zu", am, bm);
    if (am == 1 && bm > 1) FUZZ_CHECK(a[p].text == b[p].text && a[p].eol.empty(), "a kept line was altered");
    for (size_t i = p + (am == 1 ? 1 : 0); i < p + bm; ++i) FUZZ_CHECK(b[i].eol == "\r\n", "a new line without CRLF");
}

void CheckDeleteKey(const std::string& path, const std::string& sec, const std::string& key) {
    const std::vector<MLine> a = Model(fuzz::ReadFile(path));
    FUZZ_CHECK(zns::IniDeleteKey(path, sec, key));
    const std::vector<MLine> b = Model(fuzz::ReadFile(path));
    const std::vector<bool> in = Membership(a, Trim(sec));
    std::vector<const MLine*> kept;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(in[i] && a[i].kind == MLine::Entry && Same(a[i].name, Trim(key)))) kept.push_back(&a[i]);
    // A file that loses its last line end may merge lines: compare texts only then.
    FUZZ_CHECK(kept.size() == b.size() || (!kept.empty() && kept.back()->eol.empty()), "%zu lines kept, %zu expected",
               b.size(), kept.size());
    if (kept.size() == b.size())
        for (size_t i = 0; i < b.size(); ++i) FUZZ_CHECK(kept[i]->text == b[i].text, "line %zu changed", i);
    FUZZ_CHECK(!zns::IniFind(path, sec, key), "a deleted key is still found");
}

void CheckDeleteSection(const std::string& path, const std::string& sec) {
    const std::vector<MLine> a = Model(fuzz::ReadFile(path));
    FUZZ_CHECK(zns::IniDeleteSection(path, sec));
    const std::vector<MLine> b = Model(fuzz::ReadFile(path));
    const std::vector<bool> in = Membership(a, Trim(sec));
    std::vector<const MLine*> kept;
    for (size_t i = 0; i < a.size(); ++i)
        if (!in[i]) kept.push_back(&a[i]);
    FUZZ_CHECK(kept.size() == b.size() || (!kept.empty() && kept.back()->eol.empty()));
    if (kept.size() == b.size())
        for (size_t i = 0; i < b.size(); ++i) FUZZ_CHECK(kept[i]->text == b[i].text, "line %zu changed", i);
    FUZZ_CHECK(!zns::IniHasSection(path, sec), "a deleted section is still there");
}

void CheckSections(const std::string& path) {
    const std::vector<MLine> doc = Model(fuzz::ReadFile(path));
    std::vector<std::string> want;
    for (const MLine& l : doc) {
        if (l.kind != MLine::Section) continue;
        bool seen = false;
        for (const std::string& n : want) seen = seen || Same(n, l.name);
        if (!seen) want.push_back(l.name);
    }
    FUZZ_CHECK(zns::IniSectionNames(path) == want, "section list differs");
    for (const std::string& n : want) FUZZ_CHECK(zns::IniHasSection(path, n));
}

void CheckEntries(const std::string& path, const std::string& sec) {
    const std::vector<MLine> doc = Model(fuzz::ReadFile(path));
    const std::vector<bool> in = Membership(doc, Trim(sec));
    std::vector<std::pair<std::string, std::string>> want;
    for (size_t i = 0; i < doc.size(); ++i) {
        if (!in[i] || doc[i].kind != MLine::Entry) continue;
        bool seen = false;
        for (const auto& e : want) seen = seen || Same(e.first, doc[i].name);
        if (!seen) want.emplace_back(doc[i].name, doc[i].value.substr(0, zns::kIniValueMax));
    }
    FUZZ_CHECK(zns::IniSectionEntries(path, sec) == want, "entries of [%s] differ", sec.c_str());
}

void CheckBuffer(const std::string& path, const std::string& sec, const std::string& key, size_t size) {
    std::vector<char> buf(size + 1, '\x7F');
    const std::optional<std::string> v = zns::IniFind(path, sec, key);
    const std::string want = v ? *v : std::string("fallback");
    const size_t n = zns::GetPrivateProfileString(sec.c_str(), key.c_str(), "fallback", buf.data(), size, path.c_str());
    // The C entry points see names only up to their first zero byte.
    if (sec.find('\0') != std::string::npos || key.find('\0') != std::string::npos) return;
    if (size == 0) {
        FUZZ_CHECK(n == 0 && buf[0] == '\x7F', "a zero-size buffer was written");
        return;
    }
    const size_t expect = std::min(want.size(), size - 1);
    FUZZ_CHECK(n == expect, "copied %zu, expected %zu", n, expect);
    FUZZ_CHECK(std::memcmp(buf.data(), want.data(), n) == 0 && buf[n] == '\0');
    FUZZ_CHECK(buf[size] == '\x7F', "written past the buffer");
}

// Names drawn from a few that collide often, or from the input.
std::string Name(fuzz::Reader& r) {
    static const char* const kNames[] = {"A", "a", " a ", "Sonde0", "SONDE0", "\xC9t\xE9", "\xE9T\xC9", "", "[x]", "k"};
    const uint8_t b = r.U8();
    if (b < 160) return kNames[b % 10];
    return r.Text(16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader r(data, size);
    const std::string path = Scratch().File("fuzz.ini");
    const uint16_t head = r.U16();
    const std::string_view file = r.Bytes(head % 8192);
    fuzz::WriteFile(path, file.data(), file.size());
    // An old file is served from the engine's cache from its second read on.
    if (head & 0x8000) fuzz::Backdate(path);

    for (int op = 0; op < 24 && !r.Empty(); ++op) {
        switch (r.U8() % 11) {
            case 0:
            case 1: {
                const std::string s = Name(r), k = Name(r);
                CheckRead(path, s, k);
                break;
            }
            case 2:
            case 3: {
                const std::string s = Name(r), k = Name(r);
                const size_t len = r.U8() < 16 ? 200 + r.U8() : r.U8() % 40;
                CheckWrite(path, s, k, std::string(r.Bytes(len)));
                break;
            }
            case 4: {
                const std::string s = Name(r), k = Name(r);
                CheckDeleteKey(path, s, k);
                break;
            }
            case 5: CheckDeleteSection(path, Name(r)); break;
            case 6: {
                const std::string s = Name(r);
                FUZZ_CHECK(zns::IniEnsureSection(path, s));
                FUZZ_CHECK(zns::IniHasSection(path, OneLine(s)), "an ensured section is missing");
                break;
            }
            case 7: CheckSections(path); break;
            case 8: CheckEntries(path, Name(r)); break;
            case 9: {
                const std::string s = Name(r), k = Name(r);
                CheckBuffer(path, s, k, r.U8() % 300);
                break;
            }
            case 10: {  // someone else rewrites the file
                const uint8_t n = r.U8();
                const std::string_view t = r.Bytes(n);
                fuzz::WriteFile(path, t.data(), t.size());
                if (n & 1) fuzz::Backdate(path);
                break;
            }
        }
    }
    return 0;
}
