#include "platform/ui/UiService.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/ui/GuiThread.h"
#include "platform/ui/QtUiService.h"

namespace zns::ui {

namespace {

std::atomic<IUiService*> g_service{nullptr};
std::atomic<unsigned> g_modalSessions{0};

// Boxes about a subject while they are up (GUI thread only).
struct BoxUp {
    std::string subject;
    std::function<void()> close;
};
std::vector<BoxUp*> g_boxesUp;
BoxUp* g_boxShowing = nullptr;  // the one whose service call has not shown it yet

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

namespace {
struct PostedBox {
    std::string text, caption;
    unsigned type;
};
int g_boxHolds = 0;  // GUI thread
std::vector<PostedBox> g_heldBoxes;
}  // namespace

void PostMessageBox(const std::string& text, const std::string& caption, unsigned type) {
    PostToGui(nullptr, [text, caption, type] {
        if (g_boxHolds > 0)
            g_heldBoxes.push_back({text, caption, type});
        else
            Service().MessageBox(nullptr, text, caption, type);
    });
}

HoldPostedBoxes::HoldPostedBoxes() { ++g_boxHolds; }

HoldPostedBoxes::~HoldPostedBoxes() {
    if (--g_boxHolds > 0) return;
    for (const PostedBox& b : std::exchange(g_heldBoxes, {})) PostMessageBox(b.text, b.caption, b.type);
}

int MessageBoxAbout(const std::string& subject, const std::string& text, const std::string& caption,
                    unsigned type) {
    BoxUp box{subject, {}};
    g_boxesUp.push_back(&box);
    g_boxShowing = &box;
    const int answer = Service().MessageBox(nullptr, text, caption, type);
    g_boxShowing = nullptr;
    g_boxesUp.erase(std::find(g_boxesUp.begin(), g_boxesUp.end(), &box));
    return answer;
}

bool WithdrawMessageBoxes(const std::string& subject) {
    bool any = false;
    for (BoxUp* box : std::vector<BoxUp*>(g_boxesUp)) {
        if (box->subject != subject) continue;
        any = true;
        if (auto close = std::exchange(box->close, nullptr)) close();
    }
    return any;
}

void NoteBoxShown(std::function<void()> close) {
    if (!IsGuiThread()) return;
    if (BoxUp* box = std::exchange(g_boxShowing, nullptr)) box->close = std::move(close);
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
