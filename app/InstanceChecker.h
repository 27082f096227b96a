#pragma once
// One running copy per user. The first copy holds a lock file and listens on a
// local socket, both named after the application; a later copy finds the lock,
// asks the first one over the socket to bring its window forward, and ends.
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

class QLocalServer;
class QLockFile;
class QWidget;

class CInstanceChecker : public QObject {
    Q_OBJECT
public:
    // `appName` empty: the application's name (zns::ApplicationName()).
    // `folder` empty: the user's runtime folder, else UserRuntimeFolder().
    explicit CInstanceChecker(std::string appName = {}, std::string folder = {});
    ~CInstanceChecker() override;

    // "CInstanceChecker_MMF_" + the application's name.
    std::string GetMMFFilename() const;
    std::string LockPath() const;
    std::string SocketPath() const;

    // True when another copy holds the lock (never for the copy that holds it).
    bool PreviousInstanceRunning();
    // Takes the lock and starts listening; `mainWindow` is the window brought
    // forward when a later copy asks. False when another copy is running.
    bool TrackFirstInstanceRunning(QWidget* mainWindow);
    // Asks the first copy to bring its window forward (restored when minimised);
    // its window id, or 0 when it could not be reached within `timeoutMs` or
    // has no window any more (it is ending).
    unsigned long long ActivatePreviousInstance(int timeoutMs = 3000);
    // Waits (events running) until no other copy runs, at most `timeoutMs`;
    // true when none runs any more.
    bool WaitForPreviousInstance(int timeoutMs);

    // The copy is ending: its window is no longer brought forward.
    void Ending();
    // Gives the lock up (and stops listening), so that a new copy may start.
    void Release();

    bool IsTracking() const { return m_tracking; }
    // The lock's folder without XDG_RUNTIME_DIR, made if need be and closed to
    // others: "<temporary folder>/zns-<uid>" when that is this user's own folder,
    // else "<cache folder>/zns". Empty when neither can be had.
    static std::string UserRuntimeFolder();

    static constexpr const char* kRequest = "activate";
    static constexpr int kProbeWaitMs = 100;

private:
    void OnNewConnection();
    // Restores, raises and activates the tracked window; its id (0 when none).
    unsigned long long BringWindowForward();

    std::string m_appName;
    std::string m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    QPointer<QWidget> m_window;
    bool m_tracking = false;
    bool m_previousFound = false;
};
