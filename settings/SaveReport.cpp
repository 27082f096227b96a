#include "settings/SaveReport.h"

#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/NumText.h"

namespace zns {
namespace {

std::mutex g_mutex;
// Files whose failure stands told, with the keys that have not reached them
// since ("" for a whole file).
std::map<std::string, std::set<std::string>> g_standing;
SaveFailureHandler g_handler;

std::string KeyName(const IniEdit& e) { return e.section + '\n' + e.key; }

// Caller holds g_mutex. True when the failure of `path` was not standing yet.
bool Stand(const std::string& path, const std::vector<IniEdit>* keys) {
    auto [it, fresh] = g_standing.try_emplace(path);
    if (!keys) it->second.insert("");
    for (const IniEdit& e : keys ? *keys : std::vector<IniEdit>{}) it->second.insert(KeyName(e));
    return fresh;
}

void Tell(const std::string& path, const std::string& text, bool failed) {
    SaveFailureHandler handler;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        handler = g_handler;
    }
    if (handler) handler(path, text, failed);
}

}  // namespace

std::string SaveFailureText(const std::string& path, int err) {
    return Format("The file %s could not be saved: %s. It keeps its last saved content.", path.c_str(),
                  std::strerror(err ? err : EIO));
}

bool NoteSave(const std::string& path, const ReplaceResult& result, const std::vector<IniEdit>* keys) {
    {
        std::lock_guard<std::mutex> g(g_mutex);
        if (result) {
            const auto it = g_standing.find(path);
            if (it == g_standing.end()) return false;
            if (!keys) it->second.clear();
            for (const IniEdit& e : keys ? *keys : std::vector<IniEdit>{}) it->second.erase(KeyName(e));
            if (!it->second.empty()) return false;
            g_standing.erase(it);
            return true;
        }
        if (!Stand(path, keys)) return false;
    }
    Tell(path, SaveFailureText(path, result.err), true);
    return false;
}

void TellSaveFailure(const std::string& path, const std::string& text, const std::vector<IniEdit>* keys) {
    {
        std::lock_guard<std::mutex> g(g_mutex);
        Stand(path, keys);
    }
    Tell(path, text, true);
}

void TellSaveNews(const std::string& path, const std::string& text) { Tell(path, text, false); }

bool SaveFailureStands(const std::string& path) {
    std::lock_guard<std::mutex> g(g_mutex);
    return g_standing.count(path) > 0;
}

void SetSaveFailureHandler(SaveFailureHandler handler) {
    std::lock_guard<std::mutex> g(g_mutex);
    g_handler = std::move(handler);
    g_standing.clear();
}

}  // namespace zns
