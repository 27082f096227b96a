#include "app/InstanceChecker.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace {

QString Q(const std::string& s) { return QFile::decodeName(s.c_str()); }

// The session's runtime folder, else one of the user's own
// (asked for without the variable, Qt warns and makes one of its own).
std::string DefaultFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!dir.isEmpty()) return QFile::encodeName(dir).toStdString();
    }
    return CInstanceChecker::UserRuntimeFolder();
}

// True when `dir` (made if missing) is a real folder of this user's, then closed to
// everyone else. A link, or a folder another user made, is never used or changed.
bool OwnPrivateFolder(const std::string& dir) {
    ::mkdir(dir.c_str(), 0700);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    const bool own = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
                     ((st.st_mode & 0777) == 0700 || ::fchmod(fd, 0700) == 0);
    ::close(fd);
    return own;
}

}  // namespace

std::string CInstanceChecker::UserRuntimeFolder() {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache)) cache = QDir::homePath() + "/.cache";
    const std::string own = QFile::encodeName(cache).toStdString() + "/zns";
    // Once a start had to go to the cache folder, every later one does: a copy
    // may hold its lock there whatever stands in the temporary folder now.
    struct stat st {};
    if (::lstat(own.c_str(), &st) == 0 && OwnPrivateFolder(own)) return own;
    const std::string tmp = QFile::encodeName(QDir::tempPath()).toStdString() + "/zns-" + std::to_string(::geteuid());
    if (OwnPrivateFolder(tmp)) return tmp;
    // Someone else holds that name: the user's cache folder, which no one else can take.
    QDir().mkpath(cache);
    return OwnPrivateFolder(own) ? own : std::string();
}

CInstanceChecker::CInstanceChecker(std::string appName, std::string folder)
    : m_appName(appName.empty() ? zns::ApplicationName() : std::move(appName)),
      m_folder(folder.empty() ? DefaultFolder() : std::move(folder)) {}

CInstanceChecker::~CInstanceChecker() { Release(); }

void CInstanceChecker::Ending() { m_window = nullptr; }

void CInstanceChecker::Release() {
    m_window = nullptr;
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_lock) m_lock->unlock();
    m_lock.reset();
    m_tracking = false;
}

bool CInstanceChecker::WaitForPreviousInstance(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (PreviousInstanceRunning()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    return true;
}

std::string CInstanceChecker::GetMMFFilename() const { return "CInstanceChecker_MMF_" + m_appName; }

std::string CInstanceChecker::LockPath() const { return zns::JoinPath(m_folder, GetMMFFilename() + ".lock"); }

std::string CInstanceChecker::SocketPath() const { return zns::JoinPath(m_folder, GetMMFFilename() + ".sock"); }

bool CInstanceChecker::PreviousInstanceRunning() {
    if (m_tracking || m_folder.empty()) return false;
    QLockFile probe(Q(LockPath()));
    probe.setStaleLockTime(0);  // only a dead holder makes the lock stale
    // Another copy's probe holds it for a moment only; a running copy for good.
    if (probe.tryLock(kProbeWaitMs)) {
        probe.unlock();
        m_previousFound = false;
    } else {
        // A lock we cannot take (other than a folder we cannot write) is another copy's.
        m_previousFound = probe.error() == QLockFile::LockFailedError;
    }
    return m_previousFound;
}

bool CInstanceChecker::TrackFirstInstanceRunning(QWidget* mainWindow) {
    if (m_tracking) {
        m_window = mainWindow;
        return true;
    }
    if (PreviousInstanceRunning()) return false;
    if (m_folder.empty()) {
        qWarning("No folder of this user's own for the single-instance lock");
        return true;  // run alone rather than not at all
    }
    QDir().mkpath(Q(m_folder));
    auto lock = std::make_unique<QLockFile>(Q(LockPath()));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(kProbeWaitMs)) {
        // Taken by a copy that started in between: it is the first one.
        if (lock->error() == QLockFile::LockFailedError) return false;
        qWarning("Single-instance lock %s cannot be made", LockPath().c_str());
        return true;  // run alone rather than not at all
    }
    m_lock = std::move(lock);
    m_window = mainWindow;
    m_tracking = true;
    // We hold the lock, so a socket left behind belongs to a copy that is gone.
    QLocalServer::removeServer(Q(SocketPath()));
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceChecker::OnNewConnection);
    if (!m_server->listen(Q(SocketPath())))
        qWarning("Single-instance socket %s: %s", SocketPath().c_str(), qPrintable(m_server->errorString()));
    return true;
}

void CInstanceChecker::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine().trimmed();
                if (line != kRequest) continue;
                const unsigned long long id = BringWindowForward();
                socket->write(QByteArray::number(id) + "\n");
                socket->flush();
            }
        });
    }
}

unsigned long long CInstanceChecker::BringWindowForward() {
    QWidget* w = m_window.data();
    if (!w && m_tracking) {
        // Ending: the window is never shown again, but a box it still shows
        // is what the user must answer before a new copy can start.
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->raise();
            box->activateWindow();
            return static_cast<unsigned long long>(box->winId());
        }
    }
    if (!w) return 0;  // none yet, or ending: never one shown again
    if (w->isMinimized()) w->setWindowState((w->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    if (!w->isVisible()) w->show();
    w->raise();
    w->activateWindow();
    // A box or dialog open over the window is what the user must see first.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != w) {
        modal->raise();
        modal->activateWindow();
    }
    const unsigned long long id = static_cast<unsigned long long>(w->winId());
    return id ? id : 1;
}

unsigned long long CInstanceChecker::ActivatePreviousInstance(int timeoutMs) {
    if (!m_previousFound) return 0;
    m_previousFound = false;
    const QDeadlineTimer deadline(timeoutMs);
    auto left = [&deadline] { return static_cast<int>(std::max<qint64>(1, deadline.remainingTime())); };
    QLocalSocket socket;
    // The first copy may hold the lock a moment before it listens.
    for (;;) {
        socket.abort();
        socket.connectToServer(Q(SocketPath()));
        if (socket.waitForConnected(left())) break;
        if (deadline.hasExpired()) return 0;
        QThread::msleep(50);
        if (deadline.hasExpired()) return 0;
    }
    socket.write(QByteArray(kRequest) + "\n");
    socket.flush();  // small enough to go at once; the answer tells whether it arrived
    QByteArray reply;
    while (!reply.contains('\n')) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(left()))
            return 0;
        reply += socket.readAll();
    }
    socket.disconnectFromServer();
    bool ok = false;
    const unsigned long long id = reply.trimmed().toULongLong(&ok);
    return ok ? id : 0;
}
