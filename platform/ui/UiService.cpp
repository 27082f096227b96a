#include "platform/ui/UiService.h"

#include <atomic>
#include <mutex>

#include "platform/ui/GuiThread.h"
#include "platform/ui/QtUiService.h"

namespace zns::ui {

namespace {

std::atomic<IUiService*> g_service{nullptr};
std::atomic<unsigned> g_modalSessions{0};

std::mutex& TitleMutex() {
    static std::mutex m;
    return m;
}

std::string& TitleText() {
    static std::string title = "ZNS Acquisition software";
    return title;
}

}  // namespace

IUiService& Service() {
    if (IUiService* s = g_service.load()) return *s;
    static QtUiService qt;
    return qt;
}

IUiService* SetService(IUiService* service) { return g_service.exchange(service); }

void SetAppTitle(const std::string& title) {
    std::lock_guard<std::mutex> lock(TitleMutex());
    TitleText() = title;
}

std::string AppTitle() {
    std::lock_guard<std::mutex> lock(TitleMutex());
    return TitleText();
}

int AfxMessageBox(const std::string& text, unsigned type) {
    return Service().MessageBox(nullptr, text, AppTitle(), type);
}

void PostMessageBox(const std::string& text, const std::string& caption, unsigned type) {
    PostToGui(nullptr, [text, caption, type] { Service().MessageBox(nullptr, text, caption, type); });
}

unsigned ModalSessionCount() { return g_modalSessions.load(); }

void NoteModalSession() {
    if (IsGuiThread()) g_modalSessions.fetch_add(1);
}

std::vector<int> ButtonsOf(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO: return {IDYES, IDNO};
        case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
        default: return {IDOK};
    }
}

int DefaultAnswer(unsigned type) {
    const std::vector<int> buttons = ButtonsOf(type);
    const size_t index = (type & MB_DEFMASK) >> 8;
    // A default beyond the last button falls back to the first, as the system does.
    return index < buttons.size() ? buttons[index] : buttons.front();
}

}  // namespace zns::ui
