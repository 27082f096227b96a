#include "settings/SaveReport.h"

#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/CodePage.h"
#include "platform/NumText.h"

namespace zns {
namespace {

std::mutex g_mutex;
// Files whose failure stands told, with the keys that have not reached them since ("": the whole file).
std::map<std::string, std::set<std::string>> g_standing;
SaveFailureHandler g_handler;

void Stand(std::set<std::string>& standing, const std::vector<IniEdit>* keys) {
    if (!keys) standing.insert("");
    for (const IniEdit& e : keys ? *keys : std::vector<IniEdit>{}) standing.insert(e.section + '\n' + e.key);
}

}  // namespace

std::string SaveFailureText(const std::string& path, int err) {
    return Format("The file %s could not be saved: %s. It keeps its last saved content.", path.c_str(),
                  zns::SystemErrorText(err ? err : EIO).c_str());
}

bool NoteSave(const std::string& path, const ReplaceResult& result, const std::vector<IniEdit>* keys) {
    std::unique_lock<std::mutex> g(g_mutex);
    const auto it = g_standing.find(path);
    if (!result) {
        Stand(g_standing[path], keys);
        const SaveFailureHandler handler = it == g_standing.end() ? g_handler : nullptr;
        g.unlock();
        if (handler) handler(path, SaveFailureText(path, result.err), true);
        return false;
    }
    if (it == g_standing.end()) return false;
    if (!keys) it->second.clear();
    for (const IniEdit& e : keys ? *keys : std::vector<IniEdit>{}) it->second.erase(e.section + '\n' + e.key);
    if (!it->second.empty()) return false;
    g_standing.erase(it);
    return true;
}

void TellSave(const std::string& path, const std::string& text, bool failed, const std::vector<IniEdit>* keys) {
    std::unique_lock<std::mutex> g(g_mutex);
    if (failed) Stand(g_standing[path], keys);
    const SaveFailureHandler handler = g_handler;
    g.unlock();
    if (handler) handler(path, text, failed);
}

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
