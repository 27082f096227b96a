#pragma once
// Shared bits of the fuzz targets: a failed invariant aborts with its text (so
// libFuzzer keeps the input), a private scratch folder per process (tmpfs when
// there is one) and a byte reader that never runs past its input.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* cond, const char* fmt = nullptr, ...) {
    std::fprintf(stderr, "\n*** invariant broken at %s:%d: %s\n", file, line, cond);
    if (fmt != nullptr) {
        va_list ap;
        va_start(ap, fmt);
        std::vfprintf(stderr, fmt, ap);
        va_end(ap);
        std::fputc('\n', stderr);
    }
    std::abort();
}

#define FUZZ_CHECK(cond, ...)                                                   \
    do {                                                                        \
        if (!(cond)) ::fuzz::Fail(__FILE__, __LINE__, #cond __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)

// A folder of this process, removed at exit.
class ScratchDir {
public:
    ScratchDir() {
        std::error_code ec;
        std::string base = std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                               ? "/dev/shm"
                               : std::filesystem::temp_directory_path(ec).string();
        std::string tmpl = base + "/zns-fuzz-XXXXXX";
        if (::mkdtemp(tmpl.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Writes bytes to a file, replacing it; aborts when that fails (the harness, not
// the code under test, is broken then).
inline void WriteFile(const std::string& path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

// Gives the file a stamp long past, different from every stamp given before by
// this process. The ini engine reuses its parsed image of a file that has been
// quiet for a while, until the file's stamp or size changes: without this,
// every lookup of a freshly written file reads and parses it again.
inline void Backdate(const std::string& path) {
    static long counter = 0;
    ++counter;
    struct timespec t[2];
    t[0].tv_sec = t[1].tv_sec = 1000000000 + counter / 1000;
    t[0].tv_nsec = t[1].tv_nsec = (counter % 1000) * 1000000;
    if (::utimensat(AT_FDCWD, path.c_str(), t, 0) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

inline std::string ReadFile(const std::string& path) {
    std::string out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return out;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

// Reads the input front to back; past its end every read gives zeros.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_p(data), m_n(size) {}
    bool Empty() const { return m_i >= m_n; }
    size_t Left() const { return m_i < m_n ? m_n - m_i : 0; }
    uint8_t U8() { return m_i < m_n ? m_p[m_i++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    // Up to n bytes (fewer at the end).
    std::string_view Bytes(size_t n) {
        n = n < Left() ? n : Left();
        std::string_view v(reinterpret_cast<const char*>(m_p + m_i), n);
        m_i += n;
        return v;
    }
    // A byte string prefixed by its length byte (at most maxLen).
    std::string Text(size_t maxLen) { return std::string(Bytes(U8() % (maxLen + 1))); }
    std::string_view Rest() { return Bytes(Left()); }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_i = 0;
};

// Small deterministic generator (xorshift64*), for chunk sizes and filler bytes.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_s(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {
        if (m_s == 0) m_s = 1;
    }
    uint64_t Next() {
        m_s ^= m_s >> 12;
        m_s ^= m_s << 25;
        m_s ^= m_s >> 27;
        return m_s * 0x2545F4914F6CDD1Dull;
    }
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }

private:
    uint64_t m_s;
};

}  // namespace fuzz
