// A serial tty as the logger: the kernel's FTDI serial driver (/dev/ttyUSB0) or a pty.
// The fd is non-blocking; every wait is a poll() that a Close can cut short through an
// eventfd.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/d2xx/DriverBase.h"

namespace zns::d2xx {
namespace {

namespace fs = std::filesystem;
using detail::Device;
using detail::Selector;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string ReadLine(const fs::path& p) {
    std::ifstream in(p);
    std::string s;
    if (!in || !std::getline(in, s)) return {};
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// The USB identity of the device above the tty, from sysfs; false when there is none.
bool SysfsIdentity(const std::string& path, const std::string& sysfsRoot, DeviceListEntry* id) {
    std::error_code ec;
    fs::path dev = fs::canonical(path, ec);
    if (ec) return false;
    fs::path link = fs::path(sysfsRoot) / "class" / "tty" / dev.filename() / "device";
    fs::path dir = fs::canonical(link, ec);
    if (ec) return false;
    // ttyUSB: device -> port -> interface -> USB device; ttyACM: device -> interface -> ...
    for (int up = 0; up < 4 && dir.has_relative_path(); ++up, dir = dir.parent_path()) {
        std::string vid = ReadLine(dir / "idVendor");
        if (vid.empty()) continue;
        id->VendorId = static_cast<uint16_t>(std::strtoul(vid.c_str(), nullptr, 16));
        id->ProductId = static_cast<uint16_t>(std::strtoul(ReadLine(dir / "idProduct").c_str(), nullptr, 16));
        id->SerialNumber = ReadLine(dir / "serial");
        id->Description = ReadLine(dir / "product");
        return true;
    }
    return false;
}

DeviceListEntry IdentityOf(const std::string& path, const TtyOptions& opt) {
    DeviceListEntry id;
    if (SysfsIdentity(path, opt.sysfsRoot, &id)) return id;
    // No USB device above it (a pty): taken as the logger.
    id.VendorId = kFtdiVendorId;
    id.ProductId = kLoggerProductId;
    id.Description = kLoggerDescription;
    std::string name = path.rfind("/dev/", 0) == 0 ? path.substr(5) : fs::path(path).filename().string();
    for (char c : name)
        if (c != '/') id.SerialNumber += c;
    return id;
}

struct TtyShared {
    std::string path;
    TtyOptions options;
    std::mutex mu;
    bool open = false;
};

class TtyDevice final : public Device {
public:
    TtyDevice(std::shared_ptr<TtyShared> s, int fd, int wakeFd, DeviceListEntry id)
        : m_s(std::move(s)), m_fd(fd), m_wake(wakeFd), m_id(std::move(id)) {}
    ~TtyDevice() override {
        ::close(m_fd);
        ::close(m_wake);
        std::lock_guard lk(m_s->mu);
        m_s->open = false;
    }

    FT_STATUS Identity(FT_PROGRAM_DATA* out) override {
        if (HungUp()) return FT_IO_ERROR;
        out->VendorId = m_id.VendorId;
        out->ProductId = m_id.ProductId;
        out->Description = m_id.Description;
        out->SerialNumber = m_id.SerialNumber;
        return FT_OK;
    }
    FT_STATUS Reset() override { return HungUp() ? FT_IO_ERROR : FT_OK; }
    FT_STATUS QueueStatus(uint32_t* count) override {
        if (HungUp()) return FT_IO_ERROR;
        int n = 0;
        if (::ioctl(m_fd, FIONREAD, &n) < 0) return Fail();
        *count = n > 0 ? static_cast<uint32_t>(n) : 0;
        return FT_OK;
    }
    FT_STATUS Read(uint8_t* dst, uint32_t n, uint32_t* got, uint32_t timeoutMs,
                   const std::atomic<bool>& cancel) override {
        const int64_t end = NowMs() + timeoutMs;
        uint32_t have = 0;
        bool hup = false;
        FT_STATUS st = FT_OK;
        while (have < n && !cancel) {
            if (m_lost) { st = FT_IO_ERROR; break; }
            ssize_t r = ::read(m_fd, dst + have, n - have);
            if (r > 0) {
                have += static_cast<uint32_t>(r);
                continue;
            }
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                st = Fail();
                break;
            }
            if (r == 0 && hup) {  // end of file on a hung-up tty
                st = Fail();
                break;
            }
            int wait = timeoutMs == 0 ? -1 : static_cast<int>(std::max<int64_t>(0, end - NowMs()));
            if (timeoutMs != 0 && wait == 0) break;
            short ev = 0;
            if (!Wait(POLLIN, wait, &ev)) break;
            if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
                if (!(ev & POLLIN)) { st = Fail(); break; }
                hup = true;  // drain what is left, then report the loss
            }
        }
        *got = have;
        return st;
    }
    FT_STATUS Write(const uint8_t* src, uint32_t n, uint32_t* put, uint32_t timeoutMs,
                    const std::atomic<bool>& cancel) override {
        const int64_t end = NowMs() + timeoutMs;
        uint32_t done = 0;
        FT_STATUS st = FT_OK;
        while (done < n && !cancel) {
            if (m_lost) { st = FT_IO_ERROR; break; }
            ssize_t r = ::write(m_fd, src + done, n - done);
            if (r > 0) {
                done += static_cast<uint32_t>(r);
                continue;
            }
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                st = Fail();
                break;
            }
            int wait = timeoutMs == 0 ? -1 : static_cast<int>(std::max<int64_t>(0, end - NowMs()));
            if (timeoutMs != 0 && wait == 0) break;
            short ev = 0;
            if (!Wait(POLLOUT, wait, &ev)) break;
            if ((ev & (POLLHUP | POLLERR | POLLNVAL)) && !(ev & POLLOUT)) {
                st = Fail();
                break;
            }
        }
        *put = done;
        return st;
    }
    FT_STATUS PurgeRx() override {
        if (HungUp()) return FT_IO_ERROR;
        return ::tcflush(m_fd, TCIFLUSH) == 0 ? FT_OK : Fail();
    }
    FT_STATUS PurgeTx() override {
        if (HungUp()) return FT_IO_ERROR;
        return ::tcflush(m_fd, TCOFLUSH) == 0 ? FT_OK : Fail();
    }
    // The kernel driver keeps its own latency setting; nothing to pass on.
    FT_STATUS SetLatency(uint8_t) override { return HungUp() ? FT_IO_ERROR : FT_OK; }
    void Wake() override {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(m_wake, &one, sizeof one);
    }

private:
    FT_STATUS Fail() {
        m_lost = true;
        return FT_IO_ERROR;
    }
    bool HungUp() {
        if (m_lost) return true;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) m_lost = true;
        return m_lost;
    }
    // False when woken by Close or when the time ran out.
    bool Wait(short events, int ms, short* revents) {
        pollfd p[2] = {{m_fd, events, 0}, {m_wake, POLLIN, 0}};
        int r = ::poll(p, 2, ms);
        if (r < 0) return errno == EINTR;
        if (r == 0 || p[1].revents) return false;
        *revents = p[0].revents;
        return true;
    }

    std::shared_ptr<TtyShared> m_s;
    int m_fd;
    int m_wake;
    DeviceListEntry m_id;
    std::atomic<bool> m_lost{false};
};

class TtyDriver final : public detail::DriverBase {
public:
    TtyDriver(std::string path, TtyOptions options) : m_s(std::make_shared<TtyShared>()) {
        m_s->path = std::move(path);
        m_s->options = std::move(options);
    }
    ~TtyDriver() override { CloseAll(); }

    std::string Name() const override { return "tty:" + m_s->path; }

protected:
    FT_STATUS Enumerate(std::vector<DeviceListEntry>* out) override {
        struct stat st{};
        if (::stat(m_s->path.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
            out->push_back(IdentityOf(m_s->path, m_s->options));
        return FT_OK;
    }
    FT_STATUS OpenDevice(const Selector& sel, std::unique_ptr<Device>* out) override {
        std::vector<DeviceListEntry> list;
        Enumerate(&list);
        if (list.empty() || !sel.Matches(0, list[0])) return FT_DEVICE_NOT_FOUND;
        std::lock_guard lk(m_s->mu);
        if (m_s->open) return FT_DEVICE_NOT_OPENED;
        int fd = ::open(m_s->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT || errno == ENODEV || errno == ENXIO ? FT_DEVICE_NOT_FOUND
                                                                        : FT_DEVICE_NOT_OPENED;
        termios t{};
        if (!::isatty(fd) || ::tcgetattr(fd, &t) != 0) {
            ::close(fd);
            return FT_DEVICE_NOT_OPENED;
        }
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (::tcsetattr(fd, TCSANOW, &t) != 0 || wake < 0) {
            ::close(fd);
            if (wake >= 0) ::close(wake);
            return FT_DEVICE_NOT_OPENED;
        }
        m_s->open = true;
        *out = std::make_unique<TtyDevice>(m_s, fd, wake, list[0]);
        return FT_OK;
    }

private:
    std::shared_ptr<TtyShared> m_s;
};

}  // namespace

std::shared_ptr<ID2xx> MakeTtyDriver(const std::string& path, TtyOptions options) {
    return std::make_shared<TtyDriver>(path, std::move(options));
}

}  // namespace zns::d2xx
