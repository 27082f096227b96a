#include "platform/IniFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>

#include "platform/FileReplace.h"
#include "platform/NumText.h"

namespace zns {

namespace {

struct Line {
    std::string text;  // without its terminator
    std::string eol;   // "\r\n", "\n" or "" (last line without one)
};

enum class Kind { Other, Section, Entry };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // entry value, trimmed
    size_t valuePos = 0;     // where the text after '=' starts
};

struct Doc {
    std::string bom;  // a UTF-8 byte-order mark that opened the file, kept for the rewrite
    std::vector<Line> lines;
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct CacheEntry {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime = {};
    bool trusted = false;  // the file was older than the stamp granularity when read
    std::shared_ptr<const std::string> raw;
    std::shared_ptr<const Doc> doc;
};

std::mutex g_lock;  // the one lock of every profile call
std::map<std::string, CacheEntry> g_cache;
constexpr size_t kCacheMax = 32;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Letter case folding for ASCII and the letters of code page 1252.
unsigned char Fold(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    switch (c) {
        case 0x8A: return 0x9A;  // S caron
        case 0x8C: return 0x9C;  // OE
        case 0x8E: return 0x9E;  // Z caron
        case 0x9F: return 0xFF;  // Y diaeresis
        default: return c;
    }
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

Parsed Parse(const std::string& text) {
    Parsed p;
    std::string_view t(text);
    size_t i = 0;
    while (i < t.size() && IsBlank(t[i])) ++i;
    if (i == t.size()) return p;
    if (t[i] == '[') {
        size_t close = t.rfind(']');
        std::string_view inner = close != std::string_view::npos && close > i ? t.substr(i + 1, close - i - 1)
                                                                              : t.substr(i + 1);
        p.kind = Kind::Section;
        p.name = Trim(inner);
        return p;
    }
    if (t[i] == ';') return p;
    size_t eq = t.find('=', i);
    if (eq == std::string_view::npos) return p;
    p.kind = Kind::Entry;
    p.name = Trim(t.substr(i, eq - i));
    p.valuePos = eq + 1;
    p.value = Trim(t.substr(eq + 1));
    return p;
}

Doc ParseDoc(const std::string& raw) {
    Doc d;
    size_t pos = 0;
    // Editors may put a byte-order mark before the first section; it is not part of it.
    if (std::string_view(raw).substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        d.bom = std::string(kUtf8Bom);
        pos = kUtf8Bom.size();
    }
    while (pos < raw.size()) {
        size_t nl = raw.find('\n', pos);
        Line l;
        if (nl == std::string::npos) {
            l.text = raw.substr(pos);
            pos = raw.size();
        } else {
            size_t end = nl;
            if (end > pos && raw[end - 1] == '\r') {
                --end;
                l.eol = "\r\n";
            } else {
                l.eol = "\n";
            }
            l.text = raw.substr(pos, end - pos);
            pos = nl + 1;
        }
        d.lines.push_back(std::move(l));
    }
    return d;
}

std::string Serialize(const Doc& d) {
    size_t n = d.bom.size();
    for (const Line& l : d.lines) n += l.text.size() + l.eol.size();
    std::string out;
    out.reserve(n);
    out += d.bom;
    for (const Line& l : d.lines) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

// Keeps a written name or value on its line.
std::string OneLine(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return out;
}

std::string CutValue(std::string_view v) { return std::string(v.substr(0, kIniValueMax)); }

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

bool SameStat(const CacheEntry& e, const struct stat& st) {
    return e.trusted && e.dev == st.st_dev && e.ino == st.st_ino && e.size == st.st_size &&
           e.mtime.tv_sec == st.st_mtim.tv_sec && e.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

void Remember(const std::string& path, const struct stat& st, std::shared_ptr<const std::string> raw,
              std::shared_ptr<const Doc> doc) {
    if (g_cache.size() >= kCacheMax && g_cache.find(path) == g_cache.end()) g_cache.clear();
    CacheEntry& e = g_cache[path];
    e.dev = st.st_dev;
    e.ino = st.st_ino;
    e.size = st.st_size;
    e.mtime = st.st_mtim;
    // File stamps tick coarsely (a few ms): an in-place rewrite of the same size
    // soon after our read could keep the same stamp. Only an image of a file that
    // had been quiet for a while when it was read may be reused.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    e.trusted = now.tv_sec - st.st_mtim.tv_sec > 2;
    e.raw = std::move(raw);
    e.doc = std::move(doc);
}

struct Loaded {
    bool exists = false;
    mode_t mode = 0;
    std::shared_ptr<const std::string> raw;
    std::shared_ptr<const Doc> doc;
};

// The file's current image; a missing or unreadable file reads as empty.
// Caller holds g_lock.
Loaded Load(const std::string& path) {
    Loaded r;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        g_cache.erase(path);
        r.doc = std::make_shared<Doc>();
        return r;
    }
    auto it = g_cache.find(path);
    if (it != g_cache.end() && SameStat(it->second, st)) {
        r.exists = true;
        r.mode = st.st_mode & 07777;
        r.raw = it->second.raw;
        r.doc = it->second.doc;
        return r;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        g_cache.erase(path);
        r.doc = std::make_shared<Doc>();
        return r;
    }
    struct stat st2;
    auto raw = std::make_shared<std::string>();
    bool ok = ReadAll(fd, *raw) && ::fstat(fd, &st2) == 0;
    ::close(fd);
    if (!ok) {
        g_cache.erase(path);
        r.doc = std::make_shared<Doc>();
        return r;
    }
    r.exists = true;
    r.mode = st2.st_mode & 07777;
    r.raw = raw;
    r.doc = std::make_shared<Doc>(ParseDoc(*raw));
    Remember(path, st2, r.raw, r.doc);
    return r;
}

// Replaces the file with the document, unless it holds those bytes already
// (an image of the new file is not kept: one so fresh is never trusted).
ReplaceResult Store(const std::string& path, const Loaded& old, const Doc& doc) {
    return ReplaceFile(path, Serialize(doc), old.exists ? old.raw.get() : nullptr);
}

// Index of the line of the first matching key in a matching section, or npos.
size_t FindKey(const Doc& d, std::string_view section, std::string_view key) {
    bool in = false;
    for (size_t i = 0; i < d.lines.size(); ++i) {
        Parsed p = Parse(d.lines[i].text);
        if (p.kind == Kind::Section)
            in = SameName(p.name, section);
        else if (in && p.kind == Kind::Entry && SameName(p.name, key))
            return i;
    }
    return std::string::npos;
}

void EndLastLine(Doc& d) {
    if (!d.lines.empty() && d.lines.back().eol.empty()) d.lines.back().eol = "\r\n";
}

bool Lookup(const std::string& path, std::string_view section, std::string_view key, std::string& value) {
    std::string sec(Trim(section)), k(Trim(key));
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    size_t i = FindKey(*f.doc, sec, k);
    if (i == std::string::npos) return false;
    value = CutValue(Parse(f.doc->lines[i].text).value);
    return true;
}

}  // namespace

std::optional<std::string> IniFind(const std::string& path, std::string_view section, std::string_view key) {
    std::string v;
    if (Lookup(path, section, key, v)) return v;
    return std::nullopt;
}

std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def) {
    std::string v;
    if (Lookup(path, section, key, v)) return v;
    return CutValue(def);
}

int IniGetInt(const std::string& path, std::string_view section, std::string_view key, int def) {
    std::string v;
    if (Lookup(path, section, key, v)) return ParseInt(v);
    return def;
}

namespace {

// Sets key=value in the document as a single write would. Caller holds g_lock.
void ApplyWrite(Doc& doc, std::string_view section, std::string_view key, std::string_view value) {
    const std::string sec = OneLine(section), k = OneLine(key), v = OneLine(value);
    const std::string secName(Trim(sec)), keyName(Trim(k));
    size_t at = FindKey(doc, secName, keyName);
    if (at != std::string::npos) {
        // Keep the line's own spelling of the key; replace what follows '='.
        Line& l = doc.lines[at];
        l.text = l.text.substr(0, Parse(l.text).valuePos) + v;
        return;
    }
    // After the last non-blank line of the first matching section.
    size_t insertAt = std::string::npos;
    bool in = false;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        Parsed p = Parse(doc.lines[i].text);
        if (p.kind == Kind::Section) {
            if (in) break;
            in = SameName(p.name, secName);
            if (in) insertAt = i + 1;
        } else if (in && !Trim(doc.lines[i].text).empty()) {
            insertAt = i + 1;
        }
    }
    Line entry{k + "=" + v, "\r\n"};
    if (insertAt == std::string::npos) {
        EndLastLine(doc);
        doc.lines.push_back(Line{"[" + sec + "]", "\r\n"});
        doc.lines.push_back(std::move(entry));
    } else {
        if (doc.lines[insertAt - 1].eol.empty()) doc.lines[insertAt - 1].eol = "\r\n";
        doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
    }
}

}  // namespace

ReplaceResult IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view value) {
    return IniWriteBatch(path, {{std::string(section), std::string(key), std::string(value)}});
}

ReplaceResult IniWriteBatch(const std::string& path, const std::vector<IniEdit>& edits) {
    if (edits.empty()) return {ReplaceResult::Unchanged, 0};
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    Doc doc = *f.doc;
    for (const IniEdit& e : edits) ApplyWrite(doc, e.section, e.key, e.value);
    return Store(path, f, doc);
}

bool IniDeleteKey(const std::string& path, std::string_view section, std::string_view key) {
    const std::string secName(Trim(section)), keyName(Trim(key));
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    if (!f.exists) return true;
    Doc doc;
    doc.bom = f.doc->bom;
    bool in = false;
    for (const Line& l : f.doc->lines) {
        Parsed p = Parse(l.text);
        if (p.kind == Kind::Section) in = SameName(p.name, secName);
        if (in && p.kind == Kind::Entry && SameName(p.name, keyName)) continue;
        doc.lines.push_back(l);
    }
    return static_cast<bool>(Store(path, f, doc));
}

bool IniDeleteSection(const std::string& path, std::string_view section) {
    const std::string secName(Trim(section));
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    if (!f.exists) return true;
    Doc doc;
    doc.bom = f.doc->bom;
    bool in = false;
    for (const Line& l : f.doc->lines) {
        Parsed p = Parse(l.text);
        if (p.kind == Kind::Section) in = SameName(p.name, secName);
        if (!in) doc.lines.push_back(l);
    }
    return static_cast<bool>(Store(path, f, doc));
}

bool IniEnsureSection(const std::string& path, std::string_view section) {
    const std::string sec = OneLine(section);
    const std::string secName(Trim(sec));
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    for (const Line& l : f.doc->lines) {
        Parsed p = Parse(l.text);
        if (p.kind == Kind::Section && SameName(p.name, secName)) return true;
    }
    Doc doc = *f.doc;
    EndLastLine(doc);
    doc.lines.push_back(Line{"[" + sec + "]", "\r\n"});
    return static_cast<bool>(Store(path, f, doc));
}

bool IniHasSection(const std::string& path, std::string_view section) {
    const std::string secName(Trim(section));
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    for (const Line& l : f.doc->lines) {
        Parsed p = Parse(l.text);
        if (p.kind == Kind::Section && SameName(p.name, secName)) return true;
    }
    return false;
}

std::vector<std::string> IniSectionNames(const std::string& path) {
    std::vector<std::string> names;
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    for (const Line& l : f.doc->lines) {
        Parsed p = Parse(l.text);
        if (p.kind != Kind::Section) continue;
        bool seen = false;
        for (const std::string& n : names) seen = seen || SameName(n, p.name);
        if (!seen) names.emplace_back(p.name);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> IniSectionEntries(const std::string& path,
                                                                   std::string_view section) {
    const std::string secName(Trim(section));
    std::vector<std::pair<std::string, std::string>> out;
    std::lock_guard<std::mutex> lock(g_lock);
    Loaded f = Load(path);
    bool in = false;
    for (const Line& l : f.doc->lines) {
        Parsed p = Parse(l.text);
        if (p.kind == Kind::Section) {
            in = SameName(p.name, secName);
        } else if (in && p.kind == Kind::Entry) {
            bool seen = false;
            for (const auto& e : out) seen = seen || SameName(e.first, p.name);
            if (!seen) out.emplace_back(std::string(p.name), CutValue(p.value));
        }
    }
    return out;
}

void IniFlushCache() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_cache.clear();
}

size_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buffer,
                               size_t size, const char* path) {
    if (!buffer || size == 0) return 0;
    std::string v = (section && key && path) ? IniGetString(path, section, key, def ? def : "")
                                             : CutValue(def ? def : "");
    size_t n = v.size() < size - 1 ? v.size() : size - 1;
    std::memcpy(buffer, v.data(), n);
    buffer[n] = '\0';
    return n;
}

int GetPrivateProfileInt(const char* section, const char* key, int def, const char* path) {
    if (!section || !key || !path) return def;
    return IniGetInt(path, section, key, def);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path) {
    if (!section || !path) return false;
    if (!key) return IniDeleteSection(path, section);
    if (!value) return IniDeleteKey(path, section, key);
    return static_cast<bool>(IniWriteString(path, section, key, value));
}

}  // namespace zns
