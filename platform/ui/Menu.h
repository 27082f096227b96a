#pragma once
// A window's menu by command id: one QAction per id, greyed and checked by id,
// each item sending OnCommand(id) to the window the menu is attached to.
#include <QPointer>
#include <map>
#include <string>

#include "platform/WinTypes.h"
#include "platform/WinUser.h"

class QAction;
class QMenu;
class QMenuBar;
class CWndBase;

class CMenu {
public:
    CMenu();
    ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    // A popup on the menu bar, or a sub-popup when `parent` is given. '&' marks the mnemonic.
    QMenu* AddPopup(const std::string& text, QMenu* parent = nullptr);
    QAction* AppendMenu(QMenu* popup, unsigned id, const std::string& text);
    void AppendSeparator(QMenu* popup);
    // Removes every popup and item (before loading the menu afresh).
    void DestroyMenu();

    // MF_GRAYED / MF_DISABLED / MF_ENABLED; previous state, or MENU_ITEM_NOT_FOUND.
    unsigned EnableMenuItem(unsigned id, unsigned enable);
    // MF_CHECKED / MF_UNCHECKED; previous state, or MENU_ITEM_NOT_FOUND.
    unsigned CheckMenuItem(unsigned id, unsigned check);
    // MF_GRAYED | MF_CHECKED bits, or MENU_ITEM_NOT_FOUND.
    unsigned GetMenuState(unsigned id) const;
    QAction* FindAction(unsigned id) const;

    QMenuBar* GetMenuBar() const { return m_bar; }
    void SetCommandTarget(CWndBase* target) { m_target = target; }

private:
    QPointer<QMenuBar> m_bar;
    std::map<unsigned, QPointer<QAction>> m_actions;
    CWndBase* m_target = nullptr;
};
