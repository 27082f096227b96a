#include "settings/SaveReport.h"

#include <cstring>
#include <mutex>
#include <set>

#include "platform/NumText.h"

namespace zns {
namespace {

std::mutex g_mutex;
std::set<std::string> g_told;  // files whose failure was told and not yet followed by a save that worked
SaveFailureHandler g_handler;

}  // namespace

std::string SaveFailureText(const std::string& path, int err) {
    return Format("The file %s could not be saved: %s. It keeps its last saved content.", path.c_str(),
                  std::strerror(err ? err : EIO));
}

void NoteSaveFailure(const std::string& path, const std::string& text) {
    SaveFailureHandler handler;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (!g_told.insert(path).second) return;
        handler = g_handler;
    }
    if (handler) handler(path, text);
}

bool SaveFailureStands(const std::string& path) {
    std::lock_guard<std::mutex> g(g_mutex);
    return g_told.count(path) > 0;
}

void NoteSave(const std::string& path, bool ok, int err) {
    if (!ok) return NoteSaveFailure(path, SaveFailureText(path, err));
    std::lock_guard<std::mutex> g(g_mutex);
    g_told.erase(path);
}

void SetSaveFailureHandler(SaveFailureHandler handler) {
    std::lock_guard<std::mutex> g(g_mutex);
    g_handler = std::move(handler);
    g_told.clear();
}

}  // namespace zns
