#include "platform/ui/Menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "platform/ui/UiText.h"
#include "platform/ui/Wnd.h"

namespace {
// The program, not the click, decides an item's check mark.
constexpr const char* kChecked = "znsChecked";
}  // namespace

CMenu::CMenu() : m_bar(new QMenuBar(nullptr)) { m_bar->setNativeMenuBar(false); }

CMenu::~CMenu() { delete m_bar.data(); }

QMenu* CMenu::AddPopup(const std::string& text, QMenu* parent) {
    if (parent) return parent->addMenu(zns::ui::ToQ(text));
    return m_bar ? m_bar->addMenu(zns::ui::ToQ(text)) : nullptr;
}

QAction* CMenu::AppendMenu(QMenu* popup, unsigned id, const std::string& text) {
    if (!popup || !m_bar) return nullptr;
    QAction* action = popup->addAction(zns::ui::ToQ(text));
    action->setData(id);
    QObject::connect(action, &QAction::triggered, m_bar, [this, action, id] {
        if (action->isCheckable()) action->setChecked(action->property(kChecked).toBool());
        if (m_target) m_target->SendCommand(id);
    });
    m_actions.emplace(id, action);  // the first item of an id answers for it
    return action;
}

void CMenu::AppendSeparator(QMenu* popup) {
    if (popup) popup->addSeparator();
}

void CMenu::DestroyMenu() {
    m_actions.clear();
    if (m_bar) m_bar->clear();
}

QAction* CMenu::FindAction(unsigned id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second.data();
}

unsigned CMenu::EnableMenuItem(unsigned id, unsigned enable) {
    QAction* a = FindAction(id);
    if (!a) return MENU_ITEM_NOT_FOUND;
    const unsigned previous = a->isEnabled() ? MF_ENABLED : MF_GRAYED;
    a->setEnabled((enable & (MF_GRAYED | MF_DISABLED)) == 0);
    return previous;
}

unsigned CMenu::CheckMenuItem(unsigned id, unsigned check) {
    QAction* a = FindAction(id);
    if (!a) return MENU_ITEM_NOT_FOUND;
    const unsigned previous = a->property(kChecked).toBool() ? MF_CHECKED : MF_UNCHECKED;
    const bool on = (check & MF_CHECKED) != 0;
    a->setCheckable(true);
    a->setProperty(kChecked, on);
    a->setChecked(on);
    return previous;
}

unsigned CMenu::GetMenuState(unsigned id) const {
    QAction* a = FindAction(id);
    if (!a) return MENU_ITEM_NOT_FOUND;
    unsigned state = 0;
    if (!a->isEnabled()) state |= MF_GRAYED;
    if (a->property(kChecked).toBool()) state |= MF_CHECKED;
    return state;
}
