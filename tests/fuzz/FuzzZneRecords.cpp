// The ".zne" record reader over any file content.
//
// Every record read must re-encode to exactly the bytes it came from and pass
// an independent computation of the record check; the reader must stop at the
// first damaged record and say why (truncated, wrong check, end of file) in
// agreement with the bytes; a failed read leaves its output untouched. The
// replay entry (CToolsStream::ReadDataLineInFileZne) must show the same
// records and report the damage at the byte where it stopped.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "platform/NumText.h"
#include "settings/Header.h"

namespace {

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// The record check from its description: for each multi-byte field the sum
// (mod 256) of its own bytes, every other byte at full value.
uint32_t ReferenceCheck(const uint8_t* b, size_t bodySize) {
    uint32_t sum = 0;
    const size_t fields[][2] = {{0, 4}, {4, 2}, {6, 4}, {10, 2}, {12, 2}, {14, 2}, {16, 2}, {18, 2}};
    for (const auto& f : fields) {
        uint32_t s = 0;
        for (size_t i = 0; i < f[1]; ++i) s += b[f[0] + i];
        sum += s & 0xFF;
    }
    for (size_t i = 20; i < bodySize; ++i) sum += b[i];
    return sum;
}

size_t ReferenceSize(uint8_t traceByte) {
    static const size_t kTrace[4] = {0, 512, 1024, 1024};
    return 28 + kTrace[traceByte & 3] + kTrace[(traceByte >> 2) & 3] + kTrace[(traceByte >> 4) & 3];
}

zns::DataFileRecord Sentinel() {
    zns::DataFileRecord s;
    s.depthMm = 0x5A5A5A5A;
    s.speed = -12345;
    s.elapsedMs = 0xDEADBEEF;
    s.gamma = 4242;
    s.traceByte = 0xC0;
    s.trace[0][0] = 777;
    return s;
}

bool SameRecord(const zns::DataFileRecord& a, const zns::DataFileRecord& b) {
    uint8_t ea[zns::kRecordMaxBytes], eb[zns::kRecordMaxBytes];
    const size_t na = zns::EncodeRecord(a, ea), nb = zns::EncodeRecord(b, eb);
    return na == nb && std::memcmp(ea, eb, na) == 0 && a.traceByte == b.traceByte;
}

struct Scan {
    std::vector<zns::DataFileRecord> records;
    std::vector<size_t> offsets;
    zns::RecordStatus end = zns::RecordStatus::Ok;
    size_t endAt = 0;
};

Scan ReadAll(const uint8_t* data, size_t size) {
    Scan scan;
    // fmemopen refuses an empty buffer; an empty file is a closed stream at its end.
    static const uint8_t kNothing = 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(size ? data : &kNothing), size ? size : 1, "rb");
    FUZZ_CHECK(f != nullptr);
    if (size == 0) std::fgetc(f);
    size_t pos = 0;
    for (;;) {
        zns::DataFileRecord rec = Sentinel();
        size_t got = 0;
        const zns::RecordStatus st = zns::ReadRecord(f, rec, &got);
        const size_t left = size - pos;
        if (st != zns::RecordStatus::Ok) {
            FUZZ_CHECK(SameRecord(rec, Sentinel()), "a failed read changed its output");
            if (left == 0) {
                FUZZ_CHECK(st == zns::RecordStatus::EndOfFile, "status %d at the end of the file", static_cast<int>(st));
            } else if (left < 24 || left < ReferenceSize(data[pos + 23])) {
                FUZZ_CHECK(st == zns::RecordStatus::Truncated, "status %d for a cut record", static_cast<int>(st));
            } else {
                FUZZ_CHECK(st == zns::RecordStatus::BadCheck, "status %d for a whole record", static_cast<int>(st));
                const size_t body = ReferenceSize(data[pos + 23]) - 4;
                FUZZ_CHECK(ReferenceCheck(data + pos, body) != Get32(data + pos + body),
                           "a record with a right check refused");
            }
            scan.end = st;
            scan.endAt = pos;
            break;
        }
        FUZZ_CHECK(left >= 24, "a record read from %zu bytes", left);
        const size_t expect = ReferenceSize(data[pos + 23]);
        FUZZ_CHECK(got == expect && got == zns::RecordSize(data[pos + 23]) && got <= left, "record size %zu", got);
        FUZZ_CHECK(ReferenceCheck(data + pos, got - 4) == Get32(data + pos + got - 4), "a wrong check accepted");
        uint8_t enc[zns::kRecordMaxBytes];
        const size_t n = zns::EncodeRecord(rec, enc);
        FUZZ_CHECK(n == got && std::memcmp(enc, data + pos, n) == 0, "the record does not re-encode to its bytes");
        FUZZ_CHECK(rec.traceByte == data[pos + 23]);
        scan.records.push_back(rec);
        scan.offsets.push_back(pos);
        pos += got;
    }
    std::fclose(f);
    return scan;
}

fuzz::ScratchDir& Scratch() {
    static fuzz::ScratchDir dir;
    return dir;
}

void Replay(const uint8_t* data, size_t size, const Scan& scan) {
    const std::string path = Scratch().File("replay.zne");
    fuzz::WriteFile(path, data, size);

    SharedData shared;
    HeaderRecord header;
    zns::DataFileWriter writer;
    std::vector<std::string> damage, errors;
    ToolsStreamSources src;
    src.dataFilePath = [&] { return path; };
    src.showError = [&](const std::string& t) { errors.push_back(t); };
    CToolsStream ts(shared, header, writer, src);

    constexpr size_t kMaxReplayed = 8;  // the rest is the same code path, and slow through the file system
    int64_t position = 0;
    size_t k = 0;
    std::vector<int16_t> t[3];
    for (auto& v : t) v.assign(zns::kRecordMaxSamples, 0);
    while (k < kMaxReplayed) {
        const bool ok = ts.ReadDataLineInFileZne(position, t[0].data(), t[1].data(), t[2].data());
        if (!ok) break;
        FUZZ_CHECK(k < scan.records.size(), "replay showed a record the reader refused");
        FUZZ_CHECK(static_cast<size_t>(position) == scan.offsets[k]);
        const zns::DataFileRecord& rec = scan.records[k];
        const LoggerStatus L = shared.SnapshotLogger();
        FUZZ_CHECK(L.ReplayDepth == rec.depthMm / 1000.0);
        FUZZ_CHECK(L.TraceByte == rec.traceByte && L.Gamma == rec.gamma);
        for (int rx = 0; rx < 3; ++rx) {
            FUZZ_CHECK(L.TravelTime[rx] == rec.travelTime[rx] && L.Gain[rx] == rec.gain[rx]);
            FUZZ_CHECK(L.Code[rx] == rec.Code(rx));
            FUZZ_CHECK(std::equal(t[rx].begin(), t[rx].begin() + rec.SampleCount(rx), rec.trace[rx].begin()));
        }
        FUZZ_CHECK(shared.SnapshotLive().TimeText == zns::ElapsedText(rec.elapsedMs));
        position = ts.m_posReplay.load();
        ++k;
    }
    FUZZ_CHECK(errors.empty(), "the data file could not be opened");
    if (k == kMaxReplayed) return;
    if (const std::string d = ts.ReplayDamage(position); !d.empty()) damage.push_back(d);
    FUZZ_CHECK(k == scan.records.size(), "replay stopped after %zu of %zu whole records", k, scan.records.size());
    FUZZ_CHECK(ts.LastReadStatus() == scan.end);
    if (scan.end == zns::RecordStatus::EndOfFile) {
        FUZZ_CHECK(damage.empty(), "damage reported at the end of a whole file");
    } else {
        FUZZ_CHECK(damage.size() == 1, "%zu damage reports", damage.size());
        const size_t at = damage[0].find("byte ");
        FUZZ_CHECK(at != std::string::npos, "damage text \"%s\" says no position", damage[0].c_str());
        const long long said = std::strtoll(damage[0].c_str() + at + 5, nullptr, 10);
        FUZZ_CHECK(said == static_cast<long long>(scan.endAt), "damage text \"%s\", stopped at %zu",
                   damage[0].c_str(), scan.endAt);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Scan scan = ReadAll(data, size);
    Replay(data, size, scan);
    return 0;
}
