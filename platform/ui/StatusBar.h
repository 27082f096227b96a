#pragma once
// A status bar of parts, each with a text, an optional icon and a tip. Part
// edges are given as right edges in the bar's coordinates (-1: up to the end).
// SetText may be called from any thread: off the GUI thread it is posted.
#include <QIcon>
#include <QPointer>
#include <QSizeGrip>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/WinTypes.h"



class CStatusBarCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CStatusBarCtrl(QWidget* parent = nullptr, int id = 0, bool sizeGrip = false);

    int GetDlgCtrlID() const { return m_id; }
    BOOL SetParts(int count, const int* rightEdges);
    BOOL SetParts(const std::vector<int>& rightEdges) {
        return SetParts(static_cast<int>(rightEdges.size()), rightEdges.data());
    }
    int GetParts() const { return static_cast<int>(m_parts.size()); }
    std::vector<int> GetPartEdges() const;
    // The part's rectangle in the bar's coordinates (empty when it has no width).
    QRect GetRect(int part) const;

    BOOL SetText(const std::string& text, int part);
    BOOL SetText(int part, const std::string& text) { return SetText(text, part); }
    std::string GetText(int part) const;
    BOOL SetIcon(int part, const QIcon& icon);
    // Identity of the icon shown in a part (cacheKey of the icon; 0 when none).
    qint64 GetIconKey(int part) const;
    void SetTipText(int part, const std::string& tip);
    std::string GetTipText(int part) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;

private:
    struct PartData {
        int right = -1;
        std::string text;
        QIcon icon;
        std::string tip;
    };
    void SetTextNow(const std::string& text, int part);

    int m_id;
    std::vector<PartData> m_parts;
    QPointer<QSizeGrip> m_grip;
};
