// A disk that fills up while a log is recorded: recording stops with a message
// that says what happened and what was kept, the data file ends at its last
// whole record, and nothing more is written or reported afterwards.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>

#include "FaultSupport.h"
#include "link/Recorder.h"
#include "platform/IniFile.h"
#include "platform/NumText.h"

using namespace faults;

namespace {

// A disk with room for `room` more bytes: a write beyond it is cut short, the
// next one fails with ENOSPC.
struct FillingDisk {
    int64_t room;
    int shortWrites = 0;
    int failures = 0;
    ssize_t operator()(int fd, const void* p, size_t n) {
        if (room <= 0) {
            ++failures;
            errno = ENOSPC;
            return -1;
        }
        const size_t take = n < static_cast<size_t>(room) ? n : static_cast<size_t>(room);
        const ssize_t w = ::write(fd, p, take);
        if (w > 0) room -= w;
        if (static_cast<size_t>(w) < n) ++shortWrites;
        return w;
    }
};

class FullDiskTest : public ::testing::Test {
protected:
    TempDir dir;
};

}  // namespace

TEST_F(FullDiskTest, RecordingStopsAtTheLastWholeRecordWithAClearMessage) {
    // Records of this session are 24 + 512 + 1024 + 4 = 1564 bytes: room for
    // 5 records and part of a sixth.
    auto disk = std::make_shared<FillingDisk>(FillingDisk{5 * 1564 + 700});
    LogRig rig([disk](int fd, const void* p, size_t n) { return (*disk)(fd, p, n); });
    const std::string data = dir.File("full.zne");
    ASSERT_TRUE(rig.StartLog(data));

    ASSERT_TRUE(rig.RunUntil([&] { return !rig.report.Failures().empty(); }));
    const auto failures = rig.report.Failures();
    ASSERT_EQ(failures.size(), 1u);
    const std::string& msg = failures[0];
    EXPECT_NE(msg.find(data), std::string::npos) << msg;
    EXPECT_NE(msg.find("No space left on device"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Recording stopped"), std::string::npos) << msg;
    EXPECT_NE(msg.find("7820 bytes"), std::string::npos) << msg;  // what is kept
    EXPECT_EQ(rig.writer.LastError(), msg);
    EXPECT_FALSE(rig.writer.IsOpen());
    EXPECT_EQ(disk->shortWrites, 1);

    // The file holds exactly the whole records, every one of them readable.
    const FileScan scan = ScanFile(data);
    EXPECT_EQ(scan.end, zns::RecordStatus::EndOfFile);
    ASSERT_EQ(scan.records.size(), 5u);
    EXPECT_EQ(ReadBytes(data).size(), 5u * 1564u);
    EXPECT_EQ(rig.writer.Size(), 5 * 1564);
    for (const Bytes& r : scan.records) EXPECT_EQ(r.size(), 1564u);

    // The log goes on on screen; nothing more is written or reported.
    const size_t rows = rig.report.Rows();
    rig.Run(5000);
    EXPECT_GT(rig.report.Rows(), rows);
    EXPECT_EQ(rig.report.Failures().size(), 1u);
    EXPECT_EQ(disk->failures, 1);  // the failed write after the short one, nothing since
    EXPECT_EQ(ReadBytes(data).size(), 5u * 1564u);
    EXPECT_EQ(rig.stream.WriteDataFile(120.0), CToolsStream::WriteResult::NotOpen);
}

TEST_F(FullDiskTest, EveryCutInsideARecordLeavesTheRecordsBeforeIt) {
    const size_t kRecord = 1564;
    for (size_t cut : {size_t{1}, size_t{3}, size_t{23}, size_t{24}, size_t{25}, size_t{600}, kRecord - 4,
                       kRecord - 1}) {
        SCOPED_TRACE(cut);
        auto disk = std::make_shared<FillingDisk>(FillingDisk{static_cast<int64_t>(2 * kRecord + cut)});
        LogRig rig([disk](int fd, const void* p, size_t n) { return (*disk)(fd, p, n); });
        const std::string data = dir.File("cut" + std::to_string(cut) + ".zne");
        ASSERT_TRUE(rig.StartLog(data));
        ASSERT_TRUE(rig.RunUntil([&] { return !rig.report.Failures().empty(); }));
        const FileScan scan = ScanFile(data);
        EXPECT_EQ(scan.end, zns::RecordStatus::EndOfFile);
        EXPECT_EQ(scan.records.size(), 2u);
        EXPECT_EQ(ReadBytes(data).size(), 2 * kRecord);
    }
}

TEST_F(FullDiskTest, AWriteThatStallsCountsAsAFullDisk) {
    // A write that takes nothing and reports no error must not spin or pass for success.
    int calls = 0;
    LogRig rig([&calls](int, const void*, size_t) -> ssize_t {
        ++calls;
        return 0;
    });
    const std::string data = dir.File("stall.zne");
    ASSERT_TRUE(rig.StartLog(data));
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.report.Failures().empty(); }));
    EXPECT_EQ(calls, 1);
    EXPECT_NE(rig.report.Failures()[0].find("No space left on device"), std::string::npos);
    EXPECT_EQ(ReadBytes(data).size(), 0u);
}

TEST_F(FullDiskTest, TheFullDevice) {
    // The real thing: every write to /dev/full fails with ENOSPC.
    const int probe = ::open("/dev/full", O_WRONLY | O_APPEND);
    if (probe < 0) GTEST_SKIP() << "no /dev/full";
    ::close(probe);
    LogRig rig;
    ASSERT_TRUE(rig.StartLog("/dev/full"));
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.report.Failures().empty(); }));
    const auto failures = rig.report.Failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("/dev/full"), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("No space left on device"), std::string::npos) << failures[0];
    EXPECT_EQ(failures[0].find("incomplete"), std::string::npos) << failures[0];
    EXPECT_FALSE(rig.writer.IsOpen());
}

TEST_F(FullDiskTest, TheRecorderClosesTheLogWithTheLastWholeRecordsDepth) {
    // As the main window does it: on the failure report the recorder stops the
    // log; the header's end keys describe the file as it was kept.
    auto disk = std::make_shared<FillingDisk>(FillingDisk{3 * 1564 + 100});
    LogRig rig([disk](int fd, const void* p, size_t n) { return (*disk)(fd, p, n); }, RECMODE_DOWN);
    SettingsData settings;
    const std::string data = dir.File("rec.zne"), hed = dir.File("rec.hed");
    ASSERT_TRUE(zns::SetFixedField(settings.files.szDataFile, data));
    ASSERT_TRUE(zns::SetFixedField(settings.files.szLastFile, hed));
    CRecorder recorder(rig.shared, settings, rig.header, rig.writer, rig.clock);
    std::vector<std::string> shown;
    bool closed = false;
    rig.report.onFailure = [&](const std::string& m) { shown.push_back(m); };

    ASSERT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::Started);
    ASSERT_TRUE(rig.RunUntil([&] { return !shown.empty(); }));
    closed = recorder.CloseRecordFile();
    EXPECT_TRUE(closed);
    EXPECT_EQ(rig.shared.SnapshotSession().Recording, 0);

    const FileScan scan = ScanFile(data);
    ASSERT_EQ(scan.records.size(), 3u);
    zns::DataFileRecord last;
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(data.c_str(), "rb"), &std::fclose);
        zns::DataFileRecord r;
        while (zns::ReadRecord(f.get(), r) == zns::RecordStatus::Ok) last = r;
    }
    zns::IniFlushCache();
    EXPECT_EQ(zns::IniGetInt(hed, "WellInfo", "EndDepth", -1), last.depthMm);
    EXPECT_EQ(zns::IniGetInt(hed, "WellInfo", "EndTime", -1), static_cast<int>(last.elapsedMs));
    // Later frames write nothing: the flag is down and the file closed.
    rig.Run(3000);
    EXPECT_EQ(ReadBytes(data).size(), 3u * 1564u);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(FullDiskTest, AFileSystemFilledByTheLogStillTakesTheHeadersEndKeys) {
    // A small real file system: the header's replace needs room for a second copy.
    const std::string disk = dir.File("disk"), data = disk + "/log.zne", hed = disk + "/log.hed";
    ASSERT_EQ(::mkdir(disk.c_str(), 0700), 0);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
    std::unique_ptr<const char, void (*)(const char*)> unmount(disk.c_str(),
                                                              [](const char* at) { ::umount2(at, MNT_DETACH); });
    LogRig rig({}, RECMODE_DOWN);
    SettingsData settings;
    ASSERT_TRUE(zns::SetFixedField(settings.files.szDataFile, data));
    ASSERT_TRUE(zns::SetFixedField(settings.files.szLastFile, hed));
    for (int k = 0; k < 200; ++k) ASSERT_TRUE(zns::IniWriteString(hed, "General", zns::Format("Key%d", k), "0123456789"));
    CRecorder recorder(rig.shared, settings, rig.header, rig.writer, rig.clock);
    ASSERT_EQ(recorder.StartRecordFile(true), CRecorder::StartResult::Started);
    ASSERT_TRUE(rig.RunUntil([&] { return !rig.report.Failures().empty(); }));
    ASSERT_TRUE(recorder.CloseRecordFile());
    EXPECT_EQ(recorder.HeaderTrouble(), "");
    zns::DataFileRecord r, last;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(data.c_str(), "rb"), &std::fclose);
    while (zns::ReadRecord(f.get(), r) == zns::RecordStatus::Ok) last = r;
    zns::IniFlushCache();
    EXPECT_EQ(zns::IniGetInt(hed, "WellInfo", "EndDepth", -1), last.depthMm);
    EXPECT_EQ(zns::IniGetInt(hed, "WellInfo", "EndTime", -1), static_cast<int>(last.elapsedMs));
}
